// The scene's verbs on Windows: named pipes for FIFOs, the read-only
// attribute for modes, and symbolic links where Windows lets this user make
// them.

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "system_file_scene.h"

#include <windows.h>

namespace rtupoll::testing {

namespace {

// A path, or a link's target, with Windows's own separator.
std::wstring backslashed(const std::string& path) {
  std::wstring text = nativePath(path).wstring();
  std::replace(text.begin(), text.end(), L'/', L'\\');
  return text;
}

bool link(const std::filesystem::path& at, const std::wstring& target) {
  ::CreateSymbolicLinkW(at.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  return ::GetFileAttributesW(at.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the user may open for writing a file with the read-only attribute.
bool writesReadOnlyFiles(const TempFolder& probe) {
  probe.write("file", "");
  const std::wstring path = backslashed(probe.file("file"));
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return file != INVALID_HANDLE_VALUE;
}

}  // namespace

struct SystemFileScene::Extras {
  bool makes_links;
  bool writes_read_only_files;
  std::vector<HANDLE> pipes;

  Extras() {
    const TempFolder probe;
    makes_links = link(nativePath(probe.file("link")), L"target");
    writes_read_only_files = writesReadOnlyFiles(probe);
  }
  ~Extras() {
    for (const HANDLE pipe : pipes) ::CloseHandle(pipe);
  }
};

SystemFileScene::SystemFileScene() : extras_(std::make_unique<Extras>()) {}

SystemFileScene::~SystemFileScene() {
  // Windows does not remove a read-only file with its folder.
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(nativePath(folder()), error), end; !error && it != end;
       it.increment(error))
    ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::optional<std::string> SystemFileScene::lacks(Feature feature) const {
  switch (feature) {
    case Feature::kLinks:
      if (extras_->makes_links) return std::nullopt;
      return "no symbolic links can be made here: Windows needs developer mode or the privilege to make them, and "
             "Wine makes none";
    case Feature::kReadOnlyFiles: return std::nullopt;  // the read-only attribute
    case Feature::kReadOnlyRefused:
      if (!extras_->writes_read_only_files) return std::nullopt;
      return "this user opens files with the read-only attribute for writing (Wine run by the superuser)";
    case Feature::kReadOnlyFolders:
      return "Windows keeps nobody from making files in a folder but by its ACL, which the program does not set "
             "and Wine does not keep";
    case Feature::kPermissionsOfLike:
      return "a new file takes no permissions from another on Windows: the replacement (ReplaceFileW) carries "
             "the replaced file's attributes and ACL over";
  }
  return std::nullopt;
}

void SystemFileScene::makeLink(const std::string& name, const std::string& target) {
  link(nativePath(file(name)), backslashed(target));
}

std::string SystemFileScene::pipeWithoutWriter() {
  static int serial = 0;
  const std::string path =
      "\\\\.\\pipe\\rtupoll-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(serial++);
  extras_->pipes.push_back(::CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                              PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr));
  return path;
}

// A character device: no file, whatever it reads as.
std::string SystemFileScene::device() { return "NUL"; }

void SystemFileScene::setReadOnly(const std::string& name, bool read_only) {
  const std::wstring path = backslashed(file(name));
  ::SetFileAttributesW(path.c_str(), read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

bool SystemFileScene::samePlace(const std::string& resolved, const std::string& path) const {
  std::error_code error;
  return resolved.find('\\') == std::string::npos &&
         std::filesystem::equivalent(nativePath(resolved), nativePath(path), error);
}

}  // namespace rtupoll::testing
