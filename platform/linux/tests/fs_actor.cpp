// A small program the Linux face's tests run as a child process: it performs a script of file
// operations given as arguments, one operation per argument ("write f.txt hello"), in the
// directory given by --dir, optionally as another user (--as uid:gid), and prints one line per
// operation: its name, then "ok" (with what it read) or the errno's name. "exit N" ends it with
// that status; a failing operation does not stop the script.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

mode_t Mode(const std::string& octal) {
    return static_cast<mode_t>(std::strtoul(octal.c_str(), nullptr, 8));
}

// Runs one operation: 0 or the errno; *output gets what it read.
int Perform(const std::vector<std::string>& w, std::string* output) {
    const std::string& op = w[0];
    auto arg = [&](std::size_t i) -> const char* { return i < w.size() ? w[i].c_str() : ""; };
    auto check = [](int result) { return result < 0 ? errno : 0; };
    if (op == "create") {  // create PATH MODE: O_CREAT | O_EXCL
        const int fd = open(arg(1), O_WRONLY | O_CREAT | O_EXCL, Mode(arg(2)));
        return fd < 0 ? errno : check(close(fd));
    }
    if (op == "write" || op == "append") {  // write PATH TEXT: create or truncate, write, close
        const int flags = O_WRONLY | O_CREAT | (op == "write" ? O_TRUNC : O_APPEND);
        const int fd = open(arg(1), flags, 0644);
        if (fd < 0) {
            return errno;
        }
        const std::string text = arg(2);
        const ssize_t put = write(fd, text.data(), text.size());
        const int error = put < 0 ? errno : 0;
        close(fd);
        return error;
    }
    if (op == "read") {
        const int fd = open(arg(1), O_RDONLY);
        if (fd < 0) {
            return errno;
        }
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        const int error = got < 0 ? errno : 0;
        if (got > 0) {
            output->assign(buffer, static_cast<std::size_t>(got));
        }
        close(fd);
        return error;
    }
    if (op == "fsync") {  // fsync PATH TEXT: write then fsync before closing
        const int fd = open(arg(1), O_WRONLY | O_APPEND);
        if (fd < 0) {
            return errno;
        }
        const std::string text = arg(2);
        int error = write(fd, text.data(), text.size()) < 0 ? errno : 0;
        if (error == 0) {
            error = check(fsync(fd));
        }
        close(fd);
        return error;
    }
    if (op == "setsid") {  // a session of its own, with its id as output
        const pid_t session = setsid();
        if (session < 0) {
            return errno;
        }
        *output = std::to_string(session);
        return 0;
    }
    if (op == "rename") {
        return check(rename(arg(1), arg(2)));
    }
    if (op == "rename-noreplace") {
        return check(renameat2(AT_FDCWD, arg(1), AT_FDCWD, arg(2), RENAME_NOREPLACE));
    }
    if (op == "link") {
        return check(link(arg(1), arg(2)));
    }
    if (op == "unlink") {
        return check(unlink(arg(1)));
    }
    if (op == "mkdir") {
        return check(mkdir(arg(1), Mode(arg(2))));
    }
    if (op == "rmdir") {
        return check(rmdir(arg(1)));
    }
    if (op == "symlink") {  // symlink TARGET PATH
        return check(symlink(arg(1), arg(2)));
    }
    if (op == "readlink") {
        char target[4096];
        const ssize_t length = readlink(arg(1), target, sizeof target);
        if (length < 0) {
            return errno;
        }
        output->assign(target, static_cast<std::size_t>(length));
        return 0;
    }
    if (op == "truncate") {
        return check(truncate(arg(1), std::atoll(arg(2))));
    }
    if (op == "chmod") {
        return check(chmod(arg(1), Mode(arg(2))));
    }
    if (op == "chown") {
        return check(chown(arg(1), static_cast<uid_t>(std::atol(arg(2))),
                           static_cast<gid_t>(std::atol(arg(3)))));
    }
    if (op == "utimes") {  // utimes PATH ATIME MTIME (seconds)
        const timespec times[2] = {{std::atol(arg(2)), 0}, {std::atol(arg(3)), 0}};
        return check(utimensat(AT_FDCWD, arg(1), times, 0));
    }
    if (op == "setxattr") {
        return check(setxattr(arg(1), arg(2), arg(3), std::strlen(arg(3)), 0));
    }
    if (op == "removexattr") {
        return check(removexattr(arg(1), arg(2)));
    }
    if (op == "getxattr") {
        char value[4096];
        const ssize_t length = getxattr(arg(1), arg(2), value, sizeof value);
        if (length < 0) {
            return errno;
        }
        output->assign(value, static_cast<std::size_t>(length));
        return 0;
    }
    if (op == "fallocate") {
        const int fd = open(arg(1), O_WRONLY);
        if (fd < 0) {
            return errno;
        }
        const int error = posix_fallocate(fd, 0, std::atoll(arg(2)));
        close(fd);
        return error;
    }
    if (op == "stat") {
        struct stat st {};
        if (lstat(arg(1), &st) != 0) {
            return errno;
        }
        *output = std::to_string(st.st_mode) + ":" + std::to_string(st.st_uid) + ":" +
                  std::to_string(st.st_gid) + ":" + std::to_string(st.st_size);
        return 0;
    }
    if (op == "list") {
        // Directory listings are queries: they work through the volume like everything else.
        std::string names;
        std::vector<std::string> sorted;
        if (auto* dir = opendir(arg(1))) {
            while (auto* entry = readdir(dir)) {
                sorted.push_back(entry->d_name);
            }
            closedir(dir);
        } else {
            return errno;
        }
        std::sort(sorted.begin(), sorted.end());
        for (const auto& n : sorted) {
            names += n + ",";
        }
        *output = names;
        return 0;
    }
    return EINVAL;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    for (; first + 1 < argc; first += 2) {
        const std::string option = argv[first];
        if (option == "--dir") {
            if (chdir(argv[first + 1]) != 0) {
                std::perror("chdir");
                return 100;
            }
        } else if (option == "--as") {
            unsigned uid = 0, gid = 0;
            if (std::sscanf(argv[first + 1], "%u:%u", &uid, &gid) != 2 || setgroups(0, nullptr) != 0 ||
                setgid(gid) != 0 || setuid(uid) != 0) {
                std::perror("dropping privileges");
                return 101;
            }
        } else {
            break;
        }
    }
    umask(022);
    for (int i = first; i < argc; ++i) {
        const std::vector<std::string> words = Split(argv[i]);
        if (words.empty()) {
            continue;
        }
        if (words[0] == "exit") {
            std::fflush(stdout);
            return words.size() > 1 ? std::atoi(words[1].c_str()) : 0;
        }
        std::string output;
        const int error = Perform(words, &output);
        std::printf("%s %s%s%s\n", words[0].c_str(), error == 0 ? "ok" : strerrorname_np(error),
                    output.empty() ? "" : " ", output.c_str());
    }
    return 0;
}
