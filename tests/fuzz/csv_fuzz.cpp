// Fuzz target: arbitrary bytes through the CSV reader, writer and the other table forms.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/csv.h"
#include "text/sjis.h"

namespace {

using morivel::formats::TCsvCells;
using morivel::formats::TCsvDb;

// A lead byte left alone at the end of a cell takes the next separator as its trail byte when
// read back, so such cells cannot survive a write and re-read; every other cell must.
bool EndsInLoneLeadByte(std::string_view cell) {
  std::size_t i = 0;
  std::size_t last = 0;
  while (i < cell.size()) {
    last = morivel::text::char_len(cell, i);
    i += last;
  }
  return last == 1 && morivel::text::is_lead_byte(static_cast<unsigned char>(cell.back()));
}

bool HasLoneLeadCell(const TCsvDb& db) {
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    const TCsvCells* row = db.Row(r);
    for (std::size_t c = 0; row && c < row->Count(); ++c) {
      if (EndsInLoneLeadByte(row->View(c))) return true;
    }
  }
  return false;
}

// The writer pads rows and the reader drops a final empty field, so rows compare without
// their trailing empty cells.
std::vector<std::string> Significant(const TCsvCells* row) {
  std::vector<std::string> cells;
  if (!row) return cells;
  for (std::size_t c = 0; c < row->Count(); ++c) cells.push_back(row->Get(c));
  while (!cells.empty() && cells.back().empty()) cells.pop_back();
  return cells;
}

bool SameCells(const TCsvDb& a, const TCsvDb& b) {
  if (a.RowCount() != b.RowCount()) return false;
  for (std::size_t r = 0; r < a.RowCount(); ++r) {
    if (Significant(a.Row(r)) != Significant(b.Row(r))) return false;
  }
  return true;
}

void CheckCsvRoundTrip(const TCsvDb& db) {
  TCsvDb again;
  again.ReadCsv(db.WriteCsv());
  if (!HasLoneLeadCell(db) && !SameCells(db, again)) std::abort();
}

void CheckRowTextRoundTrip(const TCsvDb& db) {
  TCsvDb rows;
  for (std::size_t r = 0; r < db.RowCount(); ++r) rows.SetRowText(r, db.GetRowText(r));
  if (!HasLoneLeadCell(db) && !SameCells(db, rows)) std::abort();
}

void ExerciseOtherForms(const TCsvDb& db) {
  TCsvDb tsv;
  tsv.ReadTsv(db.WriteTsv());
  (void)tsv.WriteHtml("border=1");
  TCsvDb normal = db.Transposed();
  normal.Normalize();
  normal.InsertColumn(1);
  normal.DeleteColumn(0);
  (void)normal.WriteCsv();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  TCsvDb db;
  db.ReadCsv(input);
  CheckCsvRoundTrip(db);
  CheckRowTextRoundTrip(db);
  ExerciseOtherForms(db);
  TCsvDb tsv;
  tsv.ReadTsv(input);
  (void)tsv.WriteCsv();
  return 0;
}
