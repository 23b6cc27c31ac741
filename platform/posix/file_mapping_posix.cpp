// File views through mmap, named blocks through POSIX shared memory.
#include "file_mapping.h"

#include "text.h"
#include "thread.h"
#include "waitable.h"
#include "whole_file.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
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

WholeFileRead ReadWholeFile(const WideString& path, size_t limit, std::string& text) {
    int fd = open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return WholeFileRead::Failed;
    struct stat st {};
    WholeFileRead result = WholeFileRead::Failed;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        result =
            ReadWholeFileWith(static_cast<uint64_t>(st.st_size), limit, text, [fd](char* into, size_t count) {
                ssize_t got;
                do got = read(fd, into, count);
                while (got < 0 && errno == EINTR);
                return static_cast<int64_t>(got);
            });
    close(fd);
    return result;
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

// The file-mapping functions a Linux host calls, over the named blocks.
namespace {

constexpr DWORD kErrorFileNotFound = 2, kErrorAccessDenied = 5, kErrorInvalidHandle = 6,
                kErrorNotEnoughMemory = 8, kErrorInvalidParameter = 87;

// A mapping handle keeps its block while it is open.
class MappingHandle final : public HandleResource {
public:
    void Close() override { block.Close(); }
    SharedMemory block;
    WideString name;
};

// Each open view holds the block it shows, as on Windows, where a view
// outlives the handle it came from.
std::mutex g_viewsMutex;
std::map<const void*, std::unique_ptr<SharedMemory>>& Views() {
    static auto* views = new std::map<const void*, std::unique_ptr<SharedMemory>>;
    return *views;
}

HANDLE MappingHandleFor(std::shared_ptr<MappingHandle> mapping, const WCHAR* name) {
    mapping->name = name;
    HANDLE handle = NewResourceHandle(mapping);
    if (!handle) SetLastError(kErrorNotEnoughMemory);
    return handle;
}

} // namespace

HANDLE CreateFileMappingW(HANDLE file, void*, DWORD, DWORD sizeHigh, DWORD sizeLow, LPCWSTR name) {
    const uint64_t size = static_cast<uint64_t>(sizeHigh) << 32 | sizeLow;
    if (file != INVALID_HANDLE_VALUE || !name || !*name || size == 0 || size > SIZE_MAX / 2) {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    auto mapping = std::make_shared<MappingHandle>();
    bool existed = false;
    if (!mapping->block.Create(name, static_cast<size_t>(size), &existed)) {
        SetLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
    HANDLE handle = MappingHandleFor(std::move(mapping), name);
    if (handle) SetLastError(existed ? ERROR_ALREADY_EXISTS : 0);
    return handle;
}

HANDLE OpenFileMappingW(DWORD, BOOL, LPCWSTR name) {
    auto mapping = std::make_shared<MappingHandle>();
    if (!name || !mapping->block.OpenShared(name)) {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    return MappingHandleFor(std::move(mapping), name);
}

LPVOID MapViewOfFile(HANDLE handle, DWORD, DWORD offsetHigh, DWORD offsetLow, size_t bytes) {
    auto mapping = std::dynamic_pointer_cast<MappingHandle>(HandleResourceOf(handle));
    if (!mapping) {
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    const uint64_t offset = static_cast<uint64_t>(offsetHigh) << 32 | offsetLow;
    auto view = std::make_unique<SharedMemory>();
    if (!view->Open(mapping->name)) {
        SetLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
    if (offset > view->size() || bytes > view->size() - offset) {
        SetLastError(kErrorAccessDenied);
        return nullptr;
    }
    unsigned char* at = view->data() + offset;
    std::lock_guard<std::mutex> lock(g_viewsMutex);
    Views()[at] = std::move(view);
    return at;
}

BOOL UnmapViewOfFile(const void* view) {
    std::unique_ptr<SharedMemory> block;
    {
        std::lock_guard<std::mutex> lock(g_viewsMutex);
        auto it = Views().find(view);
        if (it == Views().end()) return FALSE;
        block = std::move(it->second);
        Views().erase(it);
    }
    return TRUE;
}
