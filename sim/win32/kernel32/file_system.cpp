#include "win32/kernel32/file_system.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "pc/machine.h"

namespace sim::win32 {

struct FileData {
    std::vector<uint8_t> bytes;
};

class FileSystem {
  public:
    std::map<std::string, std::shared_ptr<FileData>> files;
    std::set<std::string> directories{"c:"};
    std::map<std::string, std::vector<OpenFile*>> open;  // opens of each path, for sharing
};

namespace {

// Held by the machine; open files hold it too, so that a handle closed as the machine goes
// still finds the tree it belongs to.
struct FileSystemHolder {
    std::shared_ptr<FileSystem> files = std::make_shared<FileSystem>();
};

std::shared_ptr<FileSystem> Files() {
    return Machine::Current().Extension<FileSystemHolder>().files;
}

std::string Parent(const std::string& key) {
    size_t slash = key.rfind('\\');
    return slash == std::string::npos ? "" : key.substr(0, slash);
}

// Two opens of one file must each allow what the other does.
bool Conflicts(uint32_t access, uint32_t share, uint32_t other_access, uint32_t other_share) {
    bool reads = (access & GENERIC_READ) != 0;
    bool writes = (access & GENERIC_WRITE) != 0;
    bool other_reads = (other_access & GENERIC_READ) != 0;
    bool other_writes = (other_access & GENERIC_WRITE) != 0;
    return (reads && (other_share & FILE_SHARE_READ) == 0) ||
           (writes && (other_share & FILE_SHARE_WRITE) == 0) ||
           (other_reads && (share & FILE_SHARE_READ) == 0) ||
           (other_writes && (share & FILE_SHARE_WRITE) == 0);
}

}  // namespace

std::string NormalPath(const std::string& path) {
    std::string key;
    for (char c : path) {
        key.push_back(c == '/' ? '\\'
                               : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    if (key.size() < 2 || key[1] != ':') {
        key = "c:\\" + (key.empty() || key[0] != '\\' ? key : key.substr(1));
    }
    while (key.size() > 2 && key.back() == '\\') {
        key.pop_back();
    }
    return key;
}

OpenFile::OpenFile(std::shared_ptr<FileSystem> files, std::string key,
                   std::shared_ptr<FileData> data, uint32_t access, uint32_t share)
    : files_(std::move(files)),
      key_(std::move(key)),
      data_(std::move(data)),
      access_(access),
      share_(share) {
    files_->open[key_].push_back(this);
}

OpenFile::~OpenFile() {
    std::vector<OpenFile*>& opens = files_->open[key_];
    opens.erase(std::find(opens.begin(), opens.end(), this));
}

bool OpenFile::CanRead() const {
    return (access_ & GENERIC_READ) != 0;
}

bool OpenFile::CanWrite() const {
    return (access_ & GENERIC_WRITE) != 0;
}

size_t OpenFile::Read(void* buffer, size_t size) {
    size_t available = position_ < data_->bytes.size() ? data_->bytes.size() - position_ : 0;
    size_t copied = std::min(size, available);
    if (copied == 0) {
        return 0;
    }
    memcpy(buffer, data_->bytes.data() + position_, copied);
    position_ += copied;
    return copied;
}

void OpenFile::Write(const void* buffer, size_t size) {
    if (size == 0) {
        return;
    }
    if (data_->bytes.size() < position_ + size) {
        data_->bytes.resize(position_ + size);
    }
    memcpy(data_->bytes.data() + position_, buffer, size);
    position_ += size;
}

size_t OpenFile::Size() const {
    return data_->bytes.size();
}

void OpenFile::SeekToEnd() {
    position_ = data_->bytes.size();
}

std::shared_ptr<OpenFile> OpenFileByPath(const std::string& path, uint32_t access, uint32_t share,
                                         uint32_t disposition, uint32_t* error, bool* existed) {
    std::shared_ptr<FileSystem> files = Files();
    std::string key = NormalPath(path);
    if (files->directories.count(Parent(key)) == 0) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (files->directories.count(key) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto found = files->files.find(key);
    bool exists = found != files->files.end();
    if (existed != nullptr) {
        *existed = exists;
    }
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (exists && disposition == CREATE_NEW) {
        *error = ERROR_FILE_EXISTS;
        return nullptr;
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && (access & GENERIC_WRITE) == 0)) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    for (OpenFile* other : files->open[key]) {
        if (Conflicts(access, share, other->access(), other->share())) {
            *error = ERROR_SHARING_VIOLATION;
            return nullptr;
        }
    }
    if (!exists) {
        found = files->files.emplace(key, std::make_shared<FileData>()).first;
    } else if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        found->second->bytes.clear();
    }
    return std::make_shared<OpenFile>(files, key, found->second, access, share);
}

uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) {
    uint32_t error = 0;
    std::shared_ptr<OpenFile> file = OpenFileByPath(
        path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS, &error);
    if (file != nullptr) {
        file->Write(bytes.data(), bytes.size());
    }
    return error;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::shared_ptr<FileSystem> files = Files();
    auto found = files->files.find(NormalPath(path));
    if (found == files->files.end()) {
        return std::nullopt;
    }
    return std::string(found->second->bytes.begin(), found->second->bytes.end());
}

void MakeDirectory(const std::string& path) {
    Files()->directories.insert(NormalPath(path));
}

std::vector<std::string> FilePaths() {
    std::vector<std::string> paths;
    for (const auto& [key, data] : Files()->files) {
        paths.push_back(key);
    }
    return paths;
}

}  // namespace sim::win32
