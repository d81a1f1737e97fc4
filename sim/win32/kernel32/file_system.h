// The simulated PC's file system: one drive tree per machine, files as bytes, paths compared
// without regard to case ("C:\A.OUT" is "c:\a.out"), a relative path taken from "c:\".
// Programs reach it through CreateFileA and the file handles; tests and built-in programs
// (cmd.exe's redirection) through the calls below. Attributes, times, locks and streams are
// not modelled.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win32/kernel32/kernel_objects.h"

namespace sim::win32 {

struct FileData;
class FileSystem;

// An open file: what a handle from CreateFileA holds.
class OpenFile : public KernelObject {
  public:
    OpenFile(std::shared_ptr<FileSystem> files, std::string key, std::shared_ptr<FileData> data,
             uint32_t access, uint32_t share);
    ~OpenFile() override;
    std::string Describe() const override { return "file '" + key_ + "'"; }

    uint32_t access() const { return access_; }
    uint32_t share() const { return share_; }
    bool CanRead() const;
    bool CanWrite() const;
    // Copies up to `size` bytes from the file position on and moves it; the bytes copied.
    size_t Read(void* buffer, size_t size);
    // Writes at the file position, growing the file, and moves it.
    void Write(const void* buffer, size_t size);
    size_t Size() const;
    void SeekToEnd();

  private:
    std::shared_ptr<FileSystem> files_;
    std::string key_;
    std::shared_ptr<FileData> data_;
    uint32_t access_;
    uint32_t share_;
    size_t position_ = 0;
};

// Opens as CreateFileA does (GENERIC_* access, FILE_SHARE_* mode, CREATE_ALWAYS... ): the
// open file, or null and the Win32 error in *error. *existed tells whether it was there.
std::shared_ptr<OpenFile> OpenFileByPath(const std::string& path, uint32_t access, uint32_t share,
                                         uint32_t disposition, uint32_t* error,
                                         bool* existed = nullptr);

// What a program that creates the file (share read and write) and writes `bytes` leaves;
// the error of the open if it fails, else 0.
uint32_t WriteWholeFile(const std::string& path, const std::string& bytes);
// The file's bytes, nullopt if there is no such file.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Creates the directory (its parent must exist); "c:\" always exists.
void MakeDirectory(const std::string& path);
// Every file's path in its normal form (lower case), sorted.
std::vector<std::string> FilePaths();
// The normal form: lower case, backslashes, a drive; what the "file-open" fault names.
std::string NormalPath(const std::string& path);

}  // namespace sim::win32
