#include "env/files.h"

namespace rtupoll {

const char* describe(FileError error) {
  switch (error) {
    case FileError::kNone: return "no error";
    case FileError::kMissing: return "the file or its folder does not exist";
    case FileError::kNotAFile: return "it is not a regular file";
    case FileError::kTooLarge: return "it is too large to be the program's file";
    case FileError::kDenied: return "permission denied";
    case FileError::kNoSpace: return "the disk is full";
    case FileError::kExists: return "the name is taken";
    case FileError::kReadOnly: return "the file is read-only";
    case FileError::kBusy: return "another program has the file open";
    case FileError::kFailed: break;
  }
  return "the system reported an error";
}

}  // namespace rtupoll
