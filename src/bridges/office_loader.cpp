// Finds and loads the office plug-in beside the program, once per process.
#include <filesystem>
#include <string>

#include "bridges/office.h"
#include "bridges/shared_library.h"

namespace morivel::bridges {

namespace {

constexpr const char* kPluginName = "morivel_office_uno.so";
constexpr const char* kInstallHint =
    "LibreOfficeが使えません。「apt-get install libreoffice-calc libreoffice-writer "
    "libreoffice-gtk3」で（画面のない機械では「apt-get install libreoffice-calc-nogui "
    "libreoffice-writer-nogui」で）インストールしてください。";

std::filesystem::path plugin_path() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return program.parent_path() / kPluginName;
}

using CreateSuite = OfficeSuite* (*)(const OfficeOptions*, std::string*);

// The plug-in stays loaded for the whole run: the suite's runtime cannot be unloaded safely.
CreateSuite create_function() {
  static std::shared_ptr<SharedLibrary> plugin;
  if (!plugin) {
    std::filesystem::path path = plugin_path();
    if (!std::filesystem::exists(path))
      throw OfficeError(std::string(kInstallHint) +
                        "（このプログラムはLibreOffice連携なしで作られています: " + path.string() +
                        "がありません）");
    plugin = SharedLibrary::Open(path.string());
    if (!plugin) throw OfficeError(kInstallHint);
  }
  auto create = reinterpret_cast<CreateSuite>(plugin->Find("morivel_office_suite_create"));
  if (!create)
    throw OfficeError(std::string(kInstallHint) + "（" + kPluginName + "が壊れています）");
  return create;
}

}  // namespace

std::unique_ptr<OfficeSuite> load_office_suite(const OfficeOptions& options) {
  std::string error;
  std::unique_ptr<OfficeSuite> suite(create_function()(&options, &error));
  if (!suite) throw OfficeError(error);
  return suite;
}

}  // namespace morivel::bridges
