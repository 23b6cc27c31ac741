// File views through mmap, named blocks through POSIX shared memory.
#include "file_mapping.h"

#include "text.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

ReadOnlyFileMapping::~ReadOnlyFileMapping() { Close(); }

bool ReadOnlyFileMapping::Open(const WideString& path) {
    Close();
    int fd = open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > 0) {
        void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        ok = view != MAP_FAILED;
        if (ok) {
            data_ = static_cast<const unsigned char*>(view);
            size_ = static_cast<size_t>(st.st_size);
            madvise(view, size_, MADV_SEQUENTIAL);
        }
    }
    close(fd);
    return ok;
}

bool FileLastWriteLocalTime(const WideString& path, SYSTEMTIME* time, DWORD* error) {
    int fd = open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int why = fd < 0 ? errno : EISDIR;
        if (fd >= 0) close(fd);
        // As the system numbers them: 2 not found, 3 no such folder, 5 access denied.
        *error = why == ENOENT ? 2 : why == ENOTDIR ? 3 : why == EACCES || why == EISDIR ? 5 : 31;
        return false;
    }
    close(fd);
    tm local{};
    localtime_r(&st.st_mtime, &local);
    *time = SYSTEMTIME{static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                       static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
                       static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
                       static_cast<WORD>(local.tm_sec),         0};
    return true;
}

void ReadOnlyFileMapping::Close() {
    if (data_) munmap(const_cast<unsigned char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
}

// A named block stays while any handle to it is open in this process, as a
// named mapping does on Windows; the last Close removes the name.
namespace {
struct NamedBlock {
    int fd = -1;
    size_t size = 0;
    int handles = 0;
    bool owned = true; // made here: the last Close removes the name
};
std::mutex g_blocksMutex;
std::map<std::string, NamedBlock>& Blocks() {
    static auto* blocks = new std::map<std::string, NamedBlock>;
    return *blocks;
}
std::string ShmName(const WideString& name) { return "/" + Utf16ToUtf8(name); }
} // namespace

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::MapHandle(void* handle, size_t size) {
    auto* block = static_cast<NamedBlock*>(handle);
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, block->fd, 0);
    if (view == MAP_FAILED) return false;
    handle_ = handle;
    data_ = static_cast<unsigned char*>(view);
    size_ = size;
    ++block->handles;
    return true;
}

bool SharedMemory::Create(const WideString& name, size_t size, bool* alreadyExisted) {
    Close();
    if (name.empty() || size == 0) return false;
    std::lock_guard<std::mutex> lock(g_blocksMutex);
    std::string shmName = ShmName(name);
    auto it = Blocks().find(shmName);
    bool existed = it != Blocks().end();
    if (!existed) {
        int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        struct stat st {};
        if (fstat(fd, &st) != 0 ||
            (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)) {
            close(fd);
            shm_unlink(shmName.c_str());
            return false;
        }
        it = Blocks()
                 .emplace(shmName, NamedBlock{fd, std::max(size, static_cast<size_t>(st.st_size)), 0})
                 .first;
    }
    if (alreadyExisted) *alreadyExisted = existed;
    if (!MapHandle(&it->second, existed ? it->second.size : size)) {
        if (!existed) {
            close(it->second.fd);
            shm_unlink(shmName.c_str());
            Blocks().erase(it);
        }
        return false;
    }
    return true;
}

bool SharedMemory::Open(const WideString& name) {
    Close();
    std::lock_guard<std::mutex> lock(g_blocksMutex);
    auto it = Blocks().find(ShmName(name));
    return it != Blocks().end() && MapHandle(&it->second, it->second.size);
}

bool SharedMemory::OpenShared(const WideString& name) {
    if (name.empty()) return false;
    if (Open(name)) return true;
    std::lock_guard<std::mutex> lock(g_blocksMutex);
    const std::string shmName = ShmName(name);
    int fd = shm_open(shmName.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size <= 0) {
        close(fd);
        return false;
    }
    auto it = Blocks().emplace(shmName, NamedBlock{fd, static_cast<size_t>(st.st_size), 0, false}).first;
    if (!MapHandle(&it->second, it->second.size)) {
        close(fd);
        Blocks().erase(it);
        return false;
    }
    return true;
}

void SharedMemory::Close() {
    if (!handle_) return;
    munmap(data_, size_);
    std::lock_guard<std::mutex> lock(g_blocksMutex);
    auto* block = static_cast<NamedBlock*>(handle_);
    if (--block->handles == 0) {
        for (auto it = Blocks().begin(); it != Blocks().end(); ++it) {
            if (&it->second != block) continue;
            close(block->fd);
            if (block->owned) shm_unlink(it->first.c_str());
            Blocks().erase(it);
            break;
        }
    }
    handle_ = nullptr;
    data_ = nullptr;
    size_ = 0;
}
