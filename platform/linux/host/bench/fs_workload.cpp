// The file-system workload of the filter's overhead benchmark: many small files through their
// whole life, then one large file written and read sequentially. Prints one line per phase:
// "<phase> <seconds>". The same binary runs on the plain directory and on the filtered one.
//   fs_workload DIR [files] [sequential-MiB]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fs_workload: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void WriteAll(int fd, const char* data, std::size_t length, const std::string& path) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("write " + path);
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

std::size_t ReadAll(int fd, char* data, std::size_t length, const std::string& path) {
    std::size_t total = 0;
    while (total < length) {
        const ssize_t n = ::read(fd, data + total, length - total);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("read " + path);
        }
        if (n == 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
    }
    return total;
}

template <typename Fn>
void Phase(const char* name, Fn fn) {
    const auto start = Clock::now();
    fn();
    const std::chrono::duration<double> took = Clock::now() - start;
    std::printf("%s %.3f\n", name, took.count());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fs_workload DIR [files] [sequential-MiB]\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/fs-workload";
    const long files = argc > 2 ? std::atol(argv[2]) : 10000;
    const long mebibytes = argc > 3 ? std::atol(argv[3]) : 1024;
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        Fail("mkdir " + dir);
    }
    std::vector<char> block(4096, 'v');
    auto name = [&](long i, const char* suffix) {
        return dir + "/f" + std::to_string(i) + suffix;
    };

    Phase("create-write", [&] {
        for (long i = 0; i < files; ++i) {
            const std::string path = name(i, ".dat");
            const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
            if (fd < 0) {
                Fail("create " + path);
            }
            WriteAll(fd, block.data(), block.size(), path);
            ::close(fd);
        }
    });
    Phase("read", [&] {
        for (long i = 0; i < files; ++i) {
            const std::string path = name(i, ".dat");
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0) {
                Fail("open " + path);
            }
            if (ReadAll(fd, block.data(), block.size(), path) != block.size()) {
                errno = EIO;
                Fail("short read " + path);
            }
            ::close(fd);
        }
    });
    Phase("rename", [&] {
        for (long i = 0; i < files; ++i) {
            if (::rename(name(i, ".dat").c_str(), name(i, ".old").c_str()) != 0) {
                Fail("rename " + name(i, ".dat"));
            }
        }
    });
    Phase("delete", [&] {
        for (long i = 0; i < files; ++i) {
            if (::unlink(name(i, ".old").c_str()) != 0) {
                Fail("unlink " + name(i, ".old"));
            }
        }
    });

    std::vector<char> chunk(1 << 20, 's');
    const std::string big = dir + "/sequential.dat";
    Phase("sequential-write", [&] {
        const int fd = ::open(big.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        if (fd < 0) {
            Fail("create " + big);
        }
        for (long i = 0; i < mebibytes; ++i) {
            WriteAll(fd, chunk.data(), chunk.size(), big);
        }
        if (::fsync(fd) != 0) {
            Fail("fsync " + big);
        }
        ::close(fd);
    });
    Phase("sequential-read", [&] {
        const int fd = ::open(big.c_str(), O_RDONLY);
        if (fd < 0) {
            Fail("open " + big);
        }
        long long total = 0;
        for (;;) {
            const std::size_t n = ReadAll(fd, chunk.data(), chunk.size(), big);
            total += static_cast<long long>(n);
            if (n < chunk.size()) {
                break;
            }
        }
        ::close(fd);
        if (total != static_cast<long long>(mebibytes) << 20) {
            errno = EIO;
            Fail("short sequential read");
        }
    });
    ::unlink(big.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
