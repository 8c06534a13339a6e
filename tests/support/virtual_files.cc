#include "support/virtual_files.h"

#include <algorithm>
#include <filesystem>

namespace rtupoll::testing {

namespace {

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void VirtualFiles::addFolder(const std::string& path) {
  for (auto slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    nodes_[path.substr(0, slash)].kind = Kind::kFolder;
  nodes_[path].kind = Kind::kFolder;
}

void VirtualFiles::write(const std::string& path, std::string bytes) {
  Node& node = nodes_[path];
  node.kind = Kind::kRegular;
  node.bytes = std::move(bytes);
}

void VirtualFiles::addSpecial(const std::string& path) { nodes_[path] = Node{Kind::kSpecial, {}, false}; }

void VirtualFiles::addLink(const std::string& path, const std::string& target) {
  nodes_[path] = Node{Kind::kLink, target};
}

bool VirtualFiles::isLink(const std::string& path) const {
  const Node* node = find(path);
  return node != nullptr && node->kind == Kind::kLink;
}

void VirtualFiles::erase(const std::string& path) {
  nodes_.erase(path);
  const std::string prefix = path + "/";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix);) it = nodes_.erase(it);
}

void VirtualFiles::setReadOnly(const std::string& path, bool read_only) { nodes_.at(path).read_only = read_only; }

std::optional<std::string> VirtualFiles::read(const std::string& path) const {
  const Node* node = follow(path);
  if (node == nullptr || node->kind != Kind::kRegular) return std::nullopt;
  return node->bytes;
}

bool VirtualFiles::exists(const std::string& path) const { return find(path) != nullptr; }

bool VirtualFiles::isFolder(const std::string& path) const {
  const Node* node = find(path);
  return node != nullptr && node->kind == Kind::kFolder;
}

void VirtualFiles::fail(Op op, std::string prefix, FileError error, int times) {
  faults_.push_back({op, std::move(prefix), error, times});
}

std::optional<FileError> VirtualFiles::injected(Op op, const std::string& path) {
  for (Fault& fault : faults_) {
    if (fault.op != op || fault.times == 0 || !path.starts_with(fault.prefix)) continue;
    if (fault.times > 0) --fault.times;
    return fault.error;
  }
  return std::nullopt;
}

const VirtualFiles::Node* VirtualFiles::find(const std::string& path) const {
  const auto it = nodes_.find(path);
  return it == nodes_.end() ? nullptr : &it->second;
}

VirtualFiles::Resolved VirtualFiles::resolve(const std::string& path) const {
  constexpr int kMaxLinks = 40;  // as the kernel's ELOOP
  std::string current = path;
  for (int link = 0; link <= kMaxLinks; ++link) {
    const Node* node = find(current);
    if (node == nullptr) {
      // A name not there yet can be made where its folder is, writable or not.
      const FileError place = placeFor(current);
      return {current, place == FileError::kDenied ? FileError::kNone : place};
    }
    if (node->kind != Kind::kLink) return {current, FileError::kNone};
    const std::string next = node->bytes.starts_with('/') ? node->bytes : parentOf(current) + "/" + node->bytes;
    // Generic: '/' between names, on Windows too.
    current = std::filesystem::path(next).lexically_normal().generic_string();
  }
  return {current, FileError::kFailed};
}

std::optional<std::string> VirtualFiles::resolveLinks(const std::string& path) const {
  const Resolved target = resolve(path);
  if (target.error != FileError::kNone) return std::nullopt;
  return target.path;
}

const VirtualFiles::Node* VirtualFiles::follow(const std::string& path) const {
  const auto target = resolveLinks(path);
  return target ? find(*target) : nullptr;
}

FileError VirtualFiles::placeFor(const std::string& path) const {
  const Node* folder = find(parentOf(path));
  if (folder == nullptr) return FileError::kMissing;
  if (folder->kind != Kind::kFolder) return FileError::kFailed;  // a file on the way
  return folder->read_only ? FileError::kDenied : FileError::kNone;
}

FileError VirtualFiles::readFile(const std::string& path, std::size_t limit, std::string& bytes) {
  ++read_counts_[path];
  if (const auto error = injected(Op::kRead, path)) return *error;
  const Resolved target = resolve(path);
  if (target.error != FileError::kNone) return target.error;
  const Node* node = find(target.path);
  if (node == nullptr) return FileError::kMissing;
  if (node->kind != Kind::kRegular) return FileError::kNotAFile;
  if (node->bytes.size() > limit) return FileError::kTooLarge;
  bytes = node->bytes;
  return FileError::kNone;
}

FileError VirtualFiles::createFile(const std::string& path, std::string_view bytes, const std::string& like,
                                   bool /*flush*/) {
  if (const auto error = injected(Op::kCreate, path)) return *error;
  if (exists(path)) return FileError::kExists;
  if (const FileError error = placeFor(path); error != FileError::kNone) return error;
  write(path, std::string(bytes));
  // The permissions of the file it will replace.
  if (const Node* old_file = follow(like)) nodes_[path].read_only = old_file->read_only;
  return FileError::kNone;
}

FileError VirtualFiles::renameFile(const std::string& from, const std::string& to) {
  if (const auto error = injected(Op::kRename, to)) return *error;
  const Node* source = find(from);
  if (source == nullptr) return FileError::kMissing;
  if (const Node* target = find(to); target != nullptr && target->kind == Kind::kFolder) return FileError::kNotAFile;
  if (const FileError error = placeFor(to); error != FileError::kNone) return error;
  if (placeFor(from) == FileError::kDenied) return FileError::kDenied;
  Node moved = *source;
  nodes_.erase(from);
  nodes_[to] = std::move(moved);
  return FileError::kNone;
}

FileError VirtualFiles::overwriteFile(const std::string& path, std::string_view bytes, bool /*flush*/) {
  if (const auto error = injected(Op::kOverwrite, path)) return *error;
  const auto target = resolveLinks(path);
  const auto it = target ? nodes_.find(*target) : nodes_.end();
  if (it == nodes_.end()) return FileError::kMissing;
  Node* node = &it->second;
  if (node->kind != Kind::kRegular) return FileError::kNotAFile;
  if (node->read_only) return FileError::kDenied;
  node->bytes = std::string(bytes);
  return FileError::kNone;
}

FileError VirtualFiles::removeFile(const std::string& path) {
  if (const auto error = injected(Op::kRemove, path)) return *error;
  const Node* node = find(path);
  if (node == nullptr) return FileError::kMissing;
  if (node->kind == Kind::kFolder) return FileError::kNotAFile;
  if (const FileError error = placeFor(path); error != FileError::kNone) return error;
  nodes_.erase(path);
  return FileError::kNone;
}

FileStatus VirtualFiles::fileStatus(const std::string& path) const {
  const Node* node = follow(path);
  if (node == nullptr) return {};
  return {true, node->kind == Kind::kRegular, !node->read_only};
}

std::vector<std::string> VirtualFiles::listFolder(const std::string& path) const {
  std::vector<std::string> names;
  if (!isFolder(path)) return names;
  const std::string prefix = path == "/" ? path : path + "/";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix); ++it) {
    const std::string rest = it->first.substr(prefix.size());
    if (!rest.empty() && rest.find('/') == std::string::npos) names.push_back(rest);
  }
  return names;
}

}  // namespace rtupoll::testing
