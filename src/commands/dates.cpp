// Commands: dates, times and waiting.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

constexpr std::int64_t kMsPerDay = 86'400'000;

// ---- the calendar ------------------------------------------------------------------------------

struct CivilDate {
  int year;
  int month;
  int day;
};

bool is_leap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

// Proleptic Gregorian day numbers, counted so that 1899-12-30 is day 0 (the numbering of
// date-times in scripts). Computed in 400-year eras that start on March 1st.
constexpr std::int64_t kEpochShift = 693'899;  // days from 0000-03-01 to 1899-12-30

std::int64_t days_from_civil(CivilDate d) {
  std::int64_t y = d.year - (d.month <= 2 ? 1 : 0);
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t yoe = y - era * 400;
  std::int64_t mp = (d.month + 9) % 12;
  std::int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146'097 + doe - kEpochShift;
}

CivilDate civil_from_days(std::int64_t serial) {
  std::int64_t z = serial + kEpochShift;
  std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  std::int64_t doe = z - era * 146'097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

bool valid_year(std::int64_t y) {
  return y >= 1 && y <= 9999;
}

// A date-time: whole days since 1899-12-30 and milliseconds into the day.
struct DateTime {
  std::int64_t days = 0;
  std::int64_t ms = 0;
  std::int64_t TotalMs() const { return days * kMsPerDay + ms; }
};

// ---- reading date texts ------------------------------------------------------------------------

class DateReader {
 public:
  explicit DateReader(std::string_view s) : s_(s) {}

  // "yyyy/mm/dd", "hh:nn[:ss[.zzz]]" or both separated by blanks; "-" may separate the date.
  std::optional<DateTime> Read() {
    DateTime result;
    bool any = false;
    if (LooksLikeDate()) {
      if (!ReadDate(result.days)) return std::nullopt;
      any = true;
      SkipBlanks();
    }
    if (pos_ < s_.size()) {
      if (!ReadTime(result.ms)) return std::nullopt;
      any = true;
      SkipBlanks();
    }
    if (!any || pos_ != s_.size()) return std::nullopt;
    return result;
  }

 private:
  bool LooksLikeDate() const {
    std::size_t p = pos_;
    while (p < s_.size() && IsDigit(s_[p])) ++p;
    return p > pos_ && p < s_.size() && (s_[p] == '/' || s_[p] == '-');
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }

  // 1 to `max_digits` decimal digits.
  bool ReadNumber(std::size_t max_digits, int& out, std::size_t* digits = nullptr) {
    std::size_t start = pos_;
    out = 0;
    while (pos_ < s_.size() && IsDigit(s_[pos_]) && pos_ - start < max_digits)
      out = out * 10 + (s_[pos_++] - '0');
    if (digits) *digits = pos_ - start;
    return pos_ > start && (pos_ >= s_.size() || !IsDigit(s_[pos_]));
  }

  bool Expect(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool ReadDate(std::int64_t& days) {
    int y = 0, m = 0, d = 0;
    std::size_t year_digits = 0;
    if (!ReadNumber(4, y, &year_digits)) return false;
    char separator = s_[pos_];
    if (!Expect(separator) || !ReadNumber(2, m) || !Expect(separator) || !ReadNumber(2, d))
      return false;
    // Two-digit years: 00-49 are 2000-2049, 50-99 are 1950-1999.
    if (year_digits <= 2) y += y < 50 ? 2000 : 1900;
    if (!valid_year(y) || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return false;
    days = days_from_civil({y, m, d});
    return true;
  }

  bool ReadTime(std::int64_t& ms) {
    int h = 0, n = 0, sec = 0, milli = 0;
    if (!ReadNumber(2, h) || !Expect(':') || !ReadNumber(2, n)) return false;
    if (Expect(':')) {
      if (!ReadNumber(2, sec)) return false;
      if (Expect('.')) {
        std::size_t digits = 0;
        if (!ReadNumber(3, milli, &digits)) return false;
        for (; digits < 3; ++digits) milli *= 10;
      }
    }
    if (h > 23 || n > 59 || sec > 59) return false;
    ms = ((h * 60 + n) * 60 + sec) * 1000LL + milli;
    return true;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

std::optional<DateTime> parse_date_time(std::string_view sjis) {
  std::string half = text::trim(text::to_half_width(sjis));
  return DateReader(half).Read();
}

// ---- writing -----------------------------------------------------------------------------------

std::string format_date(std::int64_t days) {
  CivilDate d = civil_from_days(days);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", d.year, d.month, d.day);
  return buffer;
}

std::string format_time(std::int64_t ms_of_day) {
  auto seconds = static_cast<int>(ms_of_day / 1000);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return buffer;
}

std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
  std::int64_t r = a % b;
  return r < 0 ? r + b : r;
}

void set_keeping_type(Interpreter& in, std::string value) {
  std::string type = in.State().Sys.Sore->TypeMark;
  in.SetResult(std::move(value), std::move(type));
}

[[noreturn]] void fail_invalid_date_time() {
  throw GeneralError(text::sjis("日時の指定が不正です。"));
}

// ---- offsets: [sign] a SEP b SEP c -------------------------------------------------------------

struct Offset {
  int sign = 1;
  std::int64_t parts[3] = {0, 0, 0};
};

// Each part is a plain decimal from 0 to 65535; a missing or empty part is 0.
std::optional<Offset> parse_offset(std::string_view sjis, char separator) {
  std::string s = text::trim(text::to_half_width(sjis));
  Offset offset;
  std::size_t pos = 0;
  if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) offset.sign = s[pos++] == '-' ? -1 : 1;
  for (int part = 0; pos <= s.size(); ++part) {
    if (part == 3) return std::nullopt;
    std::size_t end = s.find(separator, pos);
    if (end == std::string::npos) end = s.size();
    std::int64_t value = 0;
    for (std::size_t i = pos; i < end; ++i) {
      if (s[i] < '0' || s[i] > '9') return std::nullopt;
      value = value * 10 + (s[i] - '0');
      if (value > 65535) return std::nullopt;
    }
    offset.parts[part] = value;
    pos = end + 1;
  }
  return offset;
}

// Moves a date by whole months; a day beyond the new month's end becomes its last day.
CivilDate add_months(CivilDate d, std::int64_t months) {
  std::int64_t index = static_cast<std::int64_t>(d.year) * 12 + (d.month - 1) + months;
  std::int64_t year = index >= 0 ? index / 12 : (index - 11) / 12;
  if (!valid_year(year)) fail_invalid_date_time();
  d.year = static_cast<int>(year);
  d.month = static_cast<int>(index - year * 12) + 1;
  d.day = std::min(d.day, days_in_month(d.year, d.month));
  return d;
}

// ---- handlers ----------------------------------------------------------------------------------

std::tm local_now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

void now_time(Interpreter& in) {
  std::tm t = local_now();
  in.SetResult(format_time((t.tm_hour * 3600LL + t.tm_min * 60 + t.tm_sec) * 1000), "s");
}

void today(Interpreter& in) {
  std::tm t = local_now();
  in.SetResult(format_date(days_from_civil({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday})), "s");
}

// 0 for Sunday to 6 for Saturday; day 0 (1899-12-30) was a Saturday.
int weekday_index(Interpreter& in) {
  std::optional<DateTime> date = parse_date_time(in.PopArgumentValue());
  if (!date) throw in.ArgumentError(text::sjis("：年月日の取得に失敗"));
  return static_cast<int>(floor_mod(date->days + 6, 7));
}

void weekday_name(Interpreter& in) {
  static const std::vector<std::string> kNames = {
      text::sjis("日"), text::sjis("月"), text::sjis("火"), text::sjis("水"),
      text::sjis("木"), text::sjis("金"), text::sjis("土")};
  in.SetResult(kNames[static_cast<std::size_t>(weekday_index(in))], "s");
}

void weekday_number(Interpreter& in) {
  in.SetResult(std::to_string(weekday_index(in) + 1), "e");
}

void add_to_date(Interpreter& in) {
  std::string offset_text = in.PopArgumentValue();
  std::optional<DateTime> base = parse_date_time(in.PopArgumentValue());
  if (!base) fail_invalid_date_time();
  std::optional<Offset> offset = parse_offset(offset_text, '/');
  if (!offset) throw in.ArgumentError();
  CivilDate d = civil_from_days(base->days);
  d = add_months(d, offset->sign * offset->parts[0] * 12);
  d = add_months(d, offset->sign * offset->parts[1]);
  std::int64_t days = days_from_civil(d) + offset->sign * offset->parts[2];
  if (!valid_year(civil_from_days(days).year)) fail_invalid_date_time();
  set_keeping_type(in, format_date(days));
}

void add_to_time(Interpreter& in) {
  std::string offset_text = in.PopArgumentValue();
  std::optional<DateTime> base = parse_date_time(in.PopArgumentValue());
  if (!base) fail_invalid_date_time();
  std::optional<Offset> offset = parse_offset(offset_text, ':');
  if (!offset) throw in.ArgumentError();
  std::int64_t seconds = (offset->parts[0] * 60 + offset->parts[1]) * 60 + offset->parts[2];
  // Only the time of day is shown, so running past either end of the day wraps around.
  std::int64_t total = base->TotalMs() + offset->sign * seconds * 1000;
  set_keeping_type(in, format_time(floor_mod(total, kMsPerDay)));
}

// Both arguments of "?と,?の", second popped first.
struct DatePair {
  DateTime first;
  DateTime second;
};

DatePair pop_date_pair(Interpreter& in) {
  std::optional<DateTime> second = parse_date_time(in.PopArgumentValue());
  std::optional<DateTime> first = parse_date_time(in.PopArgumentValue());
  if (!first || !second) throw in.Error(text::sjis("日時の指定が不正です。"));
  return {*first, *second};
}

void days_between(Interpreter& in) {
  DatePair d = pop_date_pair(in);
  std::int64_t diff = d.first.TotalMs() - d.second.TotalMs();
  in.SetResult(std::to_string(diff / kMsPerDay), "e");
}

// Milliseconds to whole seconds, ties to the even neighbour.
std::int64_t round_ms_to_seconds(std::int64_t ms) {
  std::int64_t q = ms / 1000, r = ms % 1000;
  int sign = ms < 0 ? -1 : 1;
  std::int64_t half = r * sign;
  if (half > 500 || (half == 500 && q % 2 != 0)) q += sign;
  return q;
}

void seconds_between(Interpreter& in) {
  DatePair d = pop_date_pair(in);
  in.SetResult(std::to_string(round_ms_to_seconds(d.first.TotalMs() - d.second.TotalMs())), "e");
}

void system_time(Interpreter& in) {
  auto since_start = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  in.SetResult(std::to_string(static_cast<std::uint32_t>(since_start.count())), "e");
}

struct Era {
  int first_year;
  const char* name;
};

// Eras change by calendar year alone, whatever the day the change happened on.
std::string japanese_era_date(const CivilDate& d) {
  static constexpr Era kEras[] = {
      {2019, "令和"}, {1989, "平成"}, {1926, "昭和"}, {1912, "大正"}, {1868, "明治"}};
  for (const Era& era : kEras) {
    if (d.year < era.first_year) continue;
    int year = d.year - era.first_year + 1;
    std::string text = text::sjis(era.name) +
                       (year == 1 ? text::sjis("元年") : std::to_string(year) + text::sjis("年"));
    return text + std::to_string(d.month) + text::sjis("月") + std::to_string(d.day) +
           text::sjis("日");
  }
  return {};
}

void to_japanese_era(Interpreter& in) {
  std::optional<DateTime> date = parse_date_time(in.PopArgumentValue());
  if (!date) throw in.ArgumentError(text::sjis("日付に変換出来ません。"));
  in.SetResult(japanese_era_date(civil_from_days(date->days)), "s");
}

// Events keep being handled while waiting; the wait goes in short slices so that a request to
// stop the run (closing the window, an event handler ending the program) is noticed soon.
void wait_seconds(Interpreter& in) {
  long double seconds = in.PopArgumentNumber();
  engine::Host& host = in.GetHost();
  host.ProcessEvents();
  if (!(seconds > 0)) return;
  if (seconds * 1000 > 4294967295.0L)
    throw GeneralError(text::sjis("整数の範囲を超える数値です。"));
  using Clock = std::chrono::steady_clock;
  auto deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
  constexpr auto kSlice = std::chrono::milliseconds(100);
  Interpreter::EventWait waiting(in);
  while (!in.State().StopFlag) {
    auto now = Clock::now();
    if (now >= deadline) break;
    auto slice = std::min<Clock::duration>(kSlice, deadline - now);
    host.Wait(std::chrono::duration<double>(slice).count());
  }
}

}  // namespace

void register_dates(HandlerTable& table) {
  table.Set(21, wait_seconds);
  table.Set(34, now_time);
  table.Set(35, today);
  table.Set(142, weekday_name);
  table.Set(376, weekday_number);
  table.Set(303, add_to_date);
  table.Set(302, add_to_time);
  table.Set(304, days_between);
  table.Set(305, seconds_between);
  table.Set(377, system_time);
  table.Set(389, to_japanese_era);
}

}  // namespace morivel::commands
