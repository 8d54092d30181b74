// POSIX file access. Windows sharing modes are emulated with flock() on the
// open descriptor, which conflicts between processes and also between two
// opens within one process (locks belong to the open file description).
#include "support/files/file_platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/files/directory.h"

namespace FilePlatform {
namespace {

struct PlatformState {
    int64_t lastError;  // errno of the last call here that failed
};
PlatformState state{0};

// Notes why a call failed; its result, 0.
int32_t Failed(int error) {
    state.lastError = error;
    return 0;
}

// Handles are descriptors plus one, so that descriptor 0 stays usable.
int Descriptor(Handle file) { return static_cast<int>(file - 1); }
Handle FromDescriptor(int fd) { return static_cast<Handle>(fd) + 1; }

// The lock that stands for a sharing mode: whoever lets others write takes
// none, a writer or an opener sharing nothing keeps everyone out, a reader
// that shares reading only keeps writers out.
int LockFor(uint32_t access, uint32_t share) {
    if (share & ShareWrite) return 0;
    if ((access & Access::Write) || !(share & ShareRead)) return LOCK_EX;
    return LOCK_SH;
}

// A new name or a rename lasts once its folder is synced: without it a crash
// may lose the entry of a file whose data already reached the disk. 0 when
// the folder's sync failed; a folder that cannot be opened is not judged.
int32_t SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return 1;
    const int32_t synced = Sync(FromDescriptor(folderFd));
    ::close(folderFd);
    return synced;
}

}  // namespace

Handle Open(const char* path, uint32_t access, uint32_t share, Disposition disposition) {
    if (path == nullptr || *path == '\0') return Failed(ENOENT);
    // O_NONBLOCK so that opening a named pipe cannot wait for a writer; such
    // files are refused below, and the flag is dropped again for the rest.
    int flags = O_CLOEXEC | O_NONBLOCK;
    if ((access & Access::Read) && (access & Access::Write)) {
        flags |= O_RDWR;
    } else if (access & Access::Write) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    // Never O_TRUNC: the file is emptied only once our lock is held, so an
    // opener that is refused cannot destroy the current holder's data.
    if (disposition == CreateAlways) flags |= O_CREAT;
    if (disposition == CreateNew) flags |= O_CREAT | O_EXCL;  // also refuses a dangling link

    int fd;
    do {
        fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Failed(errno);

    // Only files and devices: a directory, pipe or socket holds no text.
    struct stat st;
    const int statError = ::fstat(fd, &st) != 0 ? errno : 0;
    if (statError != 0 || S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        const int error = statError != 0 ? statError : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return Failed(error);
    }
    int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        return Failed(error);
    }
    int lock = LockFor(access, share);
    if (lock != 0) {
        int r;
        do {
            r = ::flock(fd, lock | LOCK_NB);
        } while (r != 0 && errno == EINTR);
        // Only a lock held elsewhere is a sharing conflict. Any other failure
        // (ENOLCK, EOPNOTSUPP: a network file system without locks) means
        // that nobody can lock this file, so we go on without, as on a file
        // system that has no locks at all.
        if (r != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            return Failed(EWOULDBLOCK);
        }
    }
    // A new file that might not keep its name is given up: it is empty and ours.
    if (disposition == CreateNew && SyncFolderOf(path) == 0) {
        const int error = static_cast<int>(state.lastError);
        ::unlink(path);
        ::close(fd);
        return Failed(error);
    }
    // Devices such as /dev/null cannot be cut; only regular files are emptied.
    if ((disposition == CreateAlways || disposition == TruncateExisting) && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return Failed(error);
    }
    return FromDescriptor(fd);
}

int64_t Read(Handle file, void* buffer, int64_t count) {
    if (file == 0 || count <= 0) return 0;
    char* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        size_t chunk = static_cast<size_t>(count - done > INT_MAX ? INT_MAX : count - done);
        ssize_t r = ::read(Descriptor(file), out + done, chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    return done;
}

int64_t Write(Handle file, const void* buffer, int64_t count) {
    if (file == 0 || count <= 0) return 0;
    const char* in = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        size_t chunk = static_cast<size_t>(count - done > INT_MAX ? INT_MAX : count - done);
        ssize_t r = ::write(Descriptor(file), in + done, chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            Failed(r < 0 ? errno : 0);
            break;
        }
        done += r;
    }
    return done;
}

int64_t Seek(Handle file, int64_t offset, Origin origin) {
    if (file == 0) return -1;
    int whence = origin == FromStart ? SEEK_SET : origin == FromCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(Descriptor(file), static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int32_t Truncate(Handle file) {
    if (file == 0) return 0;
    off_t position = ::lseek(Descriptor(file), 0, SEEK_CUR);
    if (position < 0) return 0;
    return ::ftruncate(Descriptor(file), position) == 0 ? 1 : 0;
}

int64_t Size(Handle file) {
    struct stat st;
    if (file == 0 || ::fstat(Descriptor(file), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

SyncAnswer SyncOnce(Handle file) {
    if (::fsync(Descriptor(file)) == 0) return SyncDone;
    Failed(errno);
    return SortSyncError(errno);
}

SyncAnswer SortSyncError(int64_t code) {
    switch (code) {
        // A device, a pipe or a file system (some user-space ones) that keeps
        // nothing to make durable.
        case EINVAL:
        case ENOSYS:
        case EROFS:
            return SyncNothingToSync;
        case EINTR:
            return SyncInterrupted;
        // EIO, ENOSPC, EDQUOT, ESTALE (a network home folder gone) and the
        // rest: what was written may be lost.
        default:
            return SyncFailed;
    }
}

void Close(Handle file) {
    if (file != 0) ::close(Descriptor(file));  // also drops the lock
}

int64_t LastError() { return state.lastError; }

std::string ErrorText(int64_t code) {
    // A lock held by another opener: the system's words would be "Resource
    // temporarily unavailable".
    if (code == EWOULDBLOCK) return "in use by another program";
    return std::strerror(static_cast<int>(code));
}

int32_t Replace(const char* path, const void* bytes, int64_t count) {
    if (path == nullptr || *path == '\0' || count < 0 || (count > 0 && bytes == nullptr)) return 0;
    // Through a symbolic link the file it names is replaced, as a write in
    // place would change it; the link itself stays.
    std::string target = path;
    if (char* resolved = ::realpath(path, nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    std::string temporary = target + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return 0;
    // mkostemp creates the file for its owner only; the new file takes the
    // old one's mode, or the one a plain create would have given it.
    struct stat old;
    mode_t mode;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);  // a file system without modes refuses; no loss
    bool ok = Write(FromDescriptor(fd), bytes, count) == count && Sync(FromDescriptor(fd)) != 0;
    // Some network file systems report a failed write only at the close.
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return 0;
    }
    // Without it a crash may bring back the old file, which is still whole.
    SyncFolderOf(target);
    return 1;
}

PathInfo Query(const char* path) {
    struct stat st;
    if (path == nullptr || *path == '\0' || ::stat(path, &st) != 0) return {0, 0};
    if (S_ISDIR(st.st_mode)) return {2, 0};
    return {1, static_cast<int64_t>(st.st_size)};
}

int32_t MakeDir(const char* path) {
    if (path == nullptr || *path == '\0') return Failed(ENOENT);
    return ::mkdir(path, 0777) == 0 ? 1 : Failed(errno);
}

char PathSeparator() { return '/'; }

int32_t Search(const char* searchPath, std::vector<DirEntry>* entries) {
    if (searchPath == nullptr || entries == nullptr) return 0;
    // The directory is everything before the last "/"; without one, the current directory.
    const std::string path = searchPath;
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return 0;
    int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        struct dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;
        // The directory module's matcher stands in for the Windows rules.
        if (pattern.empty() || !WildcardMatch(pattern.c_str(), entry->d_name)) continue;
        // Links count as what they point to, as a path lookup would.
        struct stat st;
        int32_t isDirectory = entry->d_type == DT_DIR;
        int64_t size = 0;
        if (entry->d_type != DT_DIR && ::fstatat(dirFd, entry->d_name, &st, 0) == 0) {
            isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
            size = isDirectory ? 0 : static_cast<int64_t>(st.st_size);
        }
        entries->push_back(DirEntry{entry->d_name, isDirectory, size});
    }
    ::closedir(dir);
    return 1;
}

}  // namespace FilePlatform
