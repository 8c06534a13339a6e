// The program's files on Windows. Every call is the wide-character one: the
// paths come as UTF-8, and the narrow calls would read them in the ANSI code
// page, which cannot name every folder an operator may unpack the program
// into. Nothing here locks a file against other programs: each file is
// opened with every sharing mode, as a POSIX file is.

#include "platform/system_files.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace rtupoll {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Empty for a path that is not UTF-8: no file has that name.
std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, text.data(), length);
  return text;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

FileError fromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return FileError::kMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return FileError::kDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileError::kNoSpace;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return FileError::kExists;
    // Another program holds the file open without letting it be deleted
    // (ReplaceFileW gives the last when it cannot take the old file away).
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return FileError::kBusy;
    default: return FileError::kFailed;
  }
}

FileError lastError() { return fromError(::GetLastError()); }

// Closes the handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes now and tells whether the close went well: for a file just
  // written, a failed close can be the first sign of a failed write.
  bool close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Opening never waits: a pipe is connected or refused at once, and nothing
// is read or written before regularOrNot has looked at what was opened.
HANDLE open(const std::string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return ::CreateFileW(wide(path).c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
}

bool isFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Windows refuses to open a folder as a file with "access denied"; it is
// no file rather than a forbidden one.
FileError openFailure(const std::string& path) {
  const DWORD error = ::GetLastError();
  return error == ERROR_ACCESS_DENIED && isFolder(path) ? FileError::kNotAFile : fromError(error);
}

// Regular files only: a pipe, the console, NUL or a serial port is no file
// to read or rewrite, and reading one could wait for ever.
FileError regularOrNot(HANDLE file) {
  return ::GetFileType(file) == FILE_TYPE_DISK ? FileError::kNone : FileError::kNotAFile;
}

FileError writeAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return lastError();
    if (written == 0) return FileError::kNoSpace;
    bytes.remove_prefix(written);
  }
  return FileError::kNone;
}

// The data must be on the disk before a rename makes it the file;
// otherwise a power loss could leave the new name on an empty file.
FileError writeAndFlush(HANDLE file, std::string_view bytes, bool flush) {
  if (const FileError e = writeAll(file, bytes); e != FileError::kNone) return e;
  if (flush && !::FlushFileBuffers(file)) return lastError();
  return FileError::kNone;
}

std::string folderOf(const std::string& path) {
  const auto separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator == 0 ? 1 : separator);
}

// The path Windows reaches through the open file, links followed, as the
// other functions take paths: "C:/folder/file", a share as "//server/share/file".
std::optional<std::string> finalPath(HANDLE file) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()), 0);
    if (length == 0) return std::nullopt;
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(length);  // the size needed, with the terminating zero
  }
  // "\\?\C:\..." and "\\?\UNC\server\...": the prefix that lifts the length
  // limit, which a path with '/' cannot carry.
  if (name.starts_with(L"\\\\?\\UNC\\"))
    name.replace(0, 8, L"\\\\");
  else if (name.starts_with(L"\\\\?\\"))
    name.erase(0, 4);
  std::replace(name.begin(), name.end(), L'\\', L'/');
  return utf8(name);
}

}  // namespace

FileError SystemFiles::readFile(const std::string& path, std::size_t limit, std::string& bytes) {
  Handle file(open(path, GENERIC_READ, OPEN_EXISTING));
  if (!file.valid()) return openFailure(path);
  if (const FileError e = regularOrNot(file.get()); e != FileError::kNone) return e;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return lastError();
  if (static_cast<std::uint64_t>(size.QuadPart) > limit) return FileError::kTooLarge;
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return lastError();
    if (got == 0) return FileError::kNone;
    // The file may grow while it is read.
    if (bytes.size() + got > limit) return FileError::kTooLarge;
    bytes.append(chunk, got);
  }
}

// `like` is not needed here: what Windows keeps of a file beside its bytes
// (its ACL, attributes, alternate streams, creation time) is carried over
// to the new file by renameFile, which replaces with ReplaceFileW. A file
// that replaces none takes the folder's inherited ACL, as any new file.
FileError SystemFiles::createFile(const std::string& path, std::string_view bytes, const std::string& /*like*/,
                                  bool flush) {
  Handle file(open(path, GENERIC_WRITE, CREATE_NEW));
  if (!file.valid()) return lastError();
  FileError error = writeAndFlush(file.get(), bytes, flush);
  if (!file.close() && error == FileError::kNone) error = lastError();
  if (error != FileError::kNone) ::DeleteFileW(wide(path).c_str());
  return error;
}

FileError SystemFiles::renameFile(const std::string& from, const std::string& to) {
  const std::wstring source = wide(from);
  const std::wstring target = wide(to);
  // A plain rename does not replace on Windows. ReplaceFileW does, in the
  // one step Microsoft names for saving a document as a whole, and the
  // replaced file keeps what an operator or an administrator set on it:
  // its ACL, attributes and creation time. Where these cannot be carried
  // over, the content still is. When it fails, the old file keeps its name
  // and content (no backup file is asked for).
  constexpr DWORD kKeepGoing = REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS;
  if (::ReplaceFileW(target.c_str(), source.c_str(), nullptr, kKeepGoing, nullptr, nullptr)) return FileError::kNone;
  if (::GetLastError() != ERROR_FILE_NOT_FOUND) return lastError();
  // Nothing to replace yet (the first save): a rename, still replacing, in
  // case another instance made the file meanwhile, and returning once the
  // move is on the disk.
  if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return FileError::kNone;
  return lastError();
}

FileError SystemFiles::overwriteFile(const std::string& path, std::string_view bytes, bool flush) {
  // Never created here, and looked at before it is changed, should a pipe
  // have taken the file's place.
  Handle file(open(path, GENERIC_WRITE, OPEN_EXISTING));
  if (!file.valid()) return openFailure(path);
  if (const FileError e = regularOrNot(file.get()); e != FileError::kNone) return e;
  // Opened at its start: the end put here empties it.
  if (!::SetEndOfFile(file.get())) return lastError();
  if (const FileError e = writeAndFlush(file.get(), bytes, flush); e != FileError::kNone) return e;
  return file.close() ? FileError::kNone : lastError();
}

FileError SystemFiles::removeFile(const std::string& path) {
  return ::DeleteFileW(wide(path).c_str()) ? FileError::kNone : lastError();
}

FileStatus SystemFiles::fileStatus(const std::string& path) const {
  // Opened only to look (folders too, hence backup semantics), following
  // links as a write through the path would.
  Handle file(open(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  if (!file.valid()) return {};
  BY_HANDLE_FILE_INFORMATION information{};
  if (regularOrNot(file.get()) != FileError::kNone || !::GetFileInformationByHandle(file.get(), &information))
    return {true, false, false};
  const DWORD attributes = information.dwFileAttributes;
  // The read-only attribute is what Windows's own programs honour; a file
  // whose ACL forbids writing is found out by the replacement, which then
  // fails and leaves it as it was.
  return {true, (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0, (attributes & FILE_ATTRIBUTE_READONLY) == 0};
}

// Windows follows symbolic links and junctions when it opens a path, and
// tells where it arrived; that is the file a write would change. A name
// with nothing behind it can be made if its folder exists; a link whose
// target is missing is not written through, nor is a loop of links.
std::optional<std::string> SystemFiles::resolveLinks(const std::string& path) const {
  Handle file(open(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  // A file Windows cannot name by a drive letter (a volume mounted without
  // one) keeps the path it was reached by.
  if (file.valid()) return finalPath(file.get()).value_or(path);
  if (::GetLastError() != ERROR_FILE_NOT_FOUND) return std::nullopt;
  const bool dangling_link = ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  if (dangling_link || !isFolder(folderOf(path))) return std::nullopt;
  return path;
}

std::vector<std::string> SystemFiles::listFolder(const std::string& path) const {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(std::filesystem::path(wide(path)), error), end; !error && it != end;
       it.increment(error))
    names.push_back(utf8(it->path().filename().wstring()));
  return names;
}

std::uint64_t SystemFiles::processId() const { return ::GetCurrentProcessId(); }

}  // namespace rtupoll
