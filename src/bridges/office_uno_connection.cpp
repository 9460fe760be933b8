// The office plug-in's connection: the suite process, attached to on our pipe or started, and the
// plug-in's entry point.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "bridges/office_uno.h"

namespace morivel::bridges::uno {

// ---- text -------------------------------------------------------------------------------------

std::string utf8(const OUString& s) {
  return rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr();
}

// The suite's characters are UTF-16 units of another type name.
static_assert(sizeof(sal_Unicode) == sizeof(char16_t));

OUString ustring(std::u16string_view s) {
  return OUString(reinterpret_cast<const sal_Unicode*>(s.data()), static_cast<sal_Int32>(s.size()));
}

OUString ustring_of_utf8(std::string_view s) {
  return OUString(s.data(), static_cast<sal_Int32>(s.size()), RTL_TEXTENCODING_UTF8);
}

std::u16string u16(const OUString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()),
                        static_cast<std::size_t>(s.getLength()));
}

OUString file_url(const fs::path& file) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  const std::string native = fs::absolute(file).lexically_normal().native();
  for (unsigned char c : native) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return OUString::createFromAscii(url.c_str());
}

std::string lower_extension(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

PropertyValue property(const char* name, const Any& value) {
  PropertyValue p;
  p.Name = OUString::createFromAscii(name);
  p.Value = value;
  return p;
}

namespace {

// ---- the suite process ------------------------------------------------------------------------

const char* kUnoBootstrap = "vnd.sun.star.pathname:" MORIVEL_OFFICE_PROGRAM_DIR "/fundamentalrc";

Reference<css::uno::XComponentContext> local_context() {
  // The local UNO runtime needs its bootstrap file named before it starts; it lives for the run.
  static Reference<css::uno::XComponentContext> context = [] {
    setenv("URE_BOOTSTRAP", kUnoBootstrap, 0);
    // The bridge writes to the suite's pipe from threads of its own; a suite that ends (as the
    // quit commands ask) must fail those writes, not end this program by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    return cppu::defaultBootstrap_InitialComponentContext();
  }();
  return context;
}

// The end of a process as people read it.
std::string end_of(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

}  // namespace

// ---- the suite process ------------------------------------------------------------------------

SuiteProcess::~SuiteProcess() {
  // A suite that outlives the run is left running; one that has ended is reaped.
  Ended();
  if (output_ >= 0) close(output_);
}

void SuiteProcess::Start(const std::vector<std::string>& arguments) {
  Ended();
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null_fd < 0) throw OfficeError("/dev/null cannot be opened");
  if (output_ >= 0) close(output_);
  output_ = open(fs::temp_directory_path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  pid_t child = fork();
  if (child == 0) {
    // A session of its own: the suite outlives this program and ignores its terminal.
    setsid();
    dup2(null_fd, 0);
    dup2(output_ >= 0 ? output_ : null_fd, 1);
    dup2(output_ >= 0 ? output_ : null_fd, 2);
    execv(argv[0], argv.data());
    const char message[] = "the program cannot be run\n";
    [[maybe_unused]] ssize_t written = write(2, message, sizeof message - 1);
    _exit(127);
  }
  close(null_fd);
  if (child < 0) throw OfficeError("the office suite cannot be started (fork failed)");
  pid_ = child;
}

std::optional<SuiteProcess::End> SuiteProcess::Ended() {
  if (pid_ < 0) return std::nullopt;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return std::nullopt;
  pid_ = -1;
  End end{WIFEXITED(status) && WEXITSTATUS(status) == 0, end_of(status)};
  if (std::string output = LastOutput(); !output.empty()) end.reason += ": " + output;
  return end;
}

// The last lines the process wrote, enough to say why it stopped.
std::string SuiteProcess::LastOutput() const {
  constexpr off_t kTail = 400;
  if (output_ < 0) return {};
  off_t size = lseek(output_, 0, SEEK_END);
  if (size <= 0) return {};
  off_t from = std::max<off_t>(0, size - kTail);
  std::string text(static_cast<std::size_t>(size - from), '\0');
  ssize_t got = pread(output_, text.data(), text.size(), from);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// ---- the connection ---------------------------------------------------------------------------

Reference<css::frame::XDesktop2> Connection::Desktop() {
  if (desktop_.is() && Alive()) return desktop_;
  desktop_.clear();
  Reference<css::uno::XComponentContext> remote = Resolve();
  if (!remote.is()) {
    StartSuite();
    remote = AwaitSuite();
  }
  desktop_ = css::frame::Desktop::create(remote);
  remote_ = remote;
  return desktop_;
}

Reference<css::uno::XComponentContext> Connection::Context() {
  Desktop();
  return remote_;
}

void Connection::End() {
  if (!desktop_.is()) return;
  try {
    // A suite on screen may refuse to end (a dialog of the user's is open): nothing to wait for.
    if ((Headless() || !HoldsUnsavedWork()) && desktop_->terminate()) AwaitEnd();
  } catch (const css::uno::RuntimeException&) {
    // The suite going away under the call is the expected end.
    AwaitEnd();
  }
  desktop_.clear();
  remote_.clear();
}

bool Connection::HasWindowSystem() {
  static const bool found = [] {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(MORIVEL_OFFICE_PROGRAM_DIR, error))
      if (entry.path().filename().string().starts_with("libvclplug_")) return true;
    return false;
  }();
  return found;
}

bool Connection::HoldsUnsavedWork() {
  Reference<css::container::XEnumeration> open = desktop_->getComponents()->createEnumeration();
  while (open->hasMoreElements()) {
    Reference<css::util::XModifiable> doc(open->nextElement(), UNO_QUERY);
    if (doc.is() && doc->isModified()) return true;
  }
  return false;
}

bool Connection::Alive() {
  try {
    desktop_->getComponents();
    return true;
  } catch (const css::uno::RuntimeException&) {
    return false;
  }
}

OUString Connection::ConnectionUrl() const {
  return "uno:pipe,name=" + ustring_of_utf8(options_.pipe_name) +
         ";urp;StarOffice.ComponentContext";
}

Reference<css::uno::XComponentContext> Connection::Resolve() {
  Reference<css::bridge::XUnoUrlResolver> resolver =
      css::bridge::UnoUrlResolver::create(local_context());
  try {
    return Reference<css::uno::XComponentContext>(resolver->resolve(ConnectionUrl()),
                                                  UNO_QUERY_THROW);
  } catch (const css::connection::NoConnectException&) {
    return {};
  }
}

void Connection::StartSuite() {
  std::string program =
      options_.program.empty() ? MORIVEL_OFFICE_PROGRAM_DIR "/soffice" : options_.program;
  if (access(program.c_str(), X_OK) != 0)
    throw OfficeError("LibreOffice is not installed (" + program + " is missing)");
  std::vector<std::string> arguments = {
      program,       "--nologo",      "--norestore",
      "--nodefault", "--nolockcheck", "--accept=pipe,name=" + options_.pipe_name + ";urp;"};
  if (Headless()) {
    arguments.push_back("--headless");
    arguments.push_back("--invisible");
  }
  if (!options_.profile_dir.empty())
    arguments.push_back("-env:UserInstallation=" + utf8(file_url(options_.profile_dir)));
  process_.Start(arguments);
}

// A start made while the old suite is still on its way out would hand its work to that suite
// and be lost, so the end waits for our own suite process too, not only for its pipe and lock.
void Connection::AwaitEnd() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline &&
         (Answers() || Locked() || process_.Running()))
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

bool Connection::Answers() {
  try {
    return Resolve().is();
  } catch (const css::uno::RuntimeException&) {
    return false;
  }
}

bool Connection::Locked() const {
  std::error_code error;
  return fs::exists(ProfileLock(), error);
}

fs::path Connection::ProfileLock() const {
  if (!options_.profile_dir.empty()) return fs::path(options_.profile_dir) / ".lock";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  fs::path base = config && *config ? fs::path(config) : fs::path(home ? home : "") / ".config";
  return base / "libreoffice" / "4" / ".lock";
}

Reference<css::uno::XComponentContext> Connection::AwaitSuite() {
  auto start = std::chrono::steady_clock::now();
  auto last_spawn = start;
  while (std::chrono::steady_clock::now() < start + std::chrono::seconds(120)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    if (auto remote = Resolve(); remote.is()) return remote;
    // A suite that failed has nothing more to say: waiting on would only hide why.
    if (std::optional<SuiteProcess::End> end = process_.Ended(); end && !end->success)
      throw OfficeError("LibreOffice ended before it answered on pipe " + options_.pipe_name +
                        " (" + end->reason + ")");
    // A start that went to an instance on its way out is lost; starting again is harmless,
    // since a second start only hands its arguments to the first.
    if (std::chrono::steady_clock::now() - last_spawn > std::chrono::seconds(15)) {
      StartSuite();
      last_spawn = std::chrono::steady_clock::now();
    }
  }
  throw OfficeError("LibreOffice did not answer on pipe " + options_.pipe_name);
}

namespace {

// ---- the suite --------------------------------------------------------------------------------

class UnoSuite : public OfficeSuite {
 public:
  explicit UnoSuite(const OfficeOptions& options) : link_(std::make_shared<Connection>(options)) {}

  std::unique_ptr<Spreadsheet> StartSpreadsheet() override { return make_spreadsheet(link_); }
  std::unique_ptr<WordProcessor> StartWordProcessor() override {
    return make_word_processor(link_);
  }

 private:
  std::shared_ptr<Connection> link_;
};

}  // namespace

}  // namespace morivel::bridges::uno

extern "C" __attribute__((visibility("default"))) morivel::bridges::OfficeSuite*
morivel_office_suite_create(const morivel::bridges::OfficeOptions* options, std::string* error) {
  try {
    return new morivel::bridges::uno::UnoSuite(*options);
  } catch (const std::exception& e) {
    *error = e.what();
    return nullptr;
  }
}
