// nvramtool: inspects and prepares the NVRAM store of a flash file by hand.
//   nvramtool [--flash] FILE get NAME | set NAME VALUE | unset NAME | dump
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flash.h"
#include "flash_layout.h"
#include "nvram.h"
#include "sal.h"
#include "storage_host.h"

namespace {

const char kUsage[] =
    "Usage: nvramtool [--flash] FILE COMMAND\n"
    "Reads or changes the NVRAM settings kept in a flash file of the switch.\n"
    "\n"
    "  get NAME          print the value of NAME (exit status 1 when absent)\n"
    "  set NAME VALUE    store NAME=VALUE (creates the flash file when missing)\n"
    "  unset NAME        remove NAME\n"
    "  dump              print every NAME=VALUE\n";

// Messages of the storage layer (a damaged copy, a failed write) are
// diagnostics: they go to standard error, so standard output holds values only.
int stderr_write(void *, const char *buf, size_t len) {
    return static_cast<int>(std::fwrite(buf, 1, len, stderr));
}
const sal_console_ops kDiagnostics{.ctx = nullptr, .write = stderr_write, .read_line = nullptr};

int usage_error(const char *why) {
    std::fprintf(stderr, "nvramtool: %s\n\n%s", why, kUsage);
    return 2;
}

int dump() {
    std::vector<char> all(FLASH_NVRAM_COPY_SIZE + 1);
    if (nvram_getall(all.data(), all.size()) != 0) {
        std::fprintf(stderr, "nvramtool: cannot list the store\n");
        return 1;
    }
    for (const char *p = all.data(); *p != '\0'; p += std::strlen(p) + 1)
        std::printf("%s\n", p);
    return 0;
}

int commit() {
    if (nvram_commit() != 0) {
        std::fprintf(stderr, "nvramtool: writing the store to %s failed\n", flash_host_path());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "--flash") args.erase(args.begin());
    if (args.size() < 2) return usage_error("a flash file and a command are needed");
    const std::string file = args[0];
    const std::string command = args[1];
    const size_t operands = args.size() - 2;
    const bool writes = command == "set" || command == "unset";
    if ((command == "get" || command == "unset") && operands != 1)
        return usage_error((command + " needs one NAME").c_str());
    if (command == "set" && operands != 2) return usage_error("set needs NAME and VALUE");
    if (command == "dump" && operands != 0) return usage_error("dump takes no operands");
    if (!writes && command != "get" && command != "dump")
        return usage_error(("unknown command '" + command + "'").c_str());

    sal_console_bind(&kDiagnostics);
    if (flash_host_open(file.c_str(), command == "set") != 0) {
        std::fprintf(stderr, "nvramtool: %s\n", flash_host_last_error());
        return 1;
    }
    if (flashInit() != 0 || nvram_init() != 0) {
        std::fprintf(stderr, "nvramtool: cannot read the store from %s\n", file.c_str());
        return 1;
    }
    int status = 0;
    if (command == "get") {
        const char *value = nvram_get(args[2].c_str());
        if (value == nullptr) {
            std::fprintf(stderr, "nvramtool: %s is not set\n", args[2].c_str());
            status = 1;
        } else {
            std::printf("%s\n", value);
        }
    } else if (command == "dump") {
        status = dump();
    } else if (command == "set") {
        status = nvram_set(args[2].c_str(), args[3].c_str()) == 0 ? commit() : 1;
    } else if (nvram_unset(args[2].c_str()) != 0) {
        std::fprintf(stderr, "nvramtool: %s is not set\n", args[2].c_str());
        status = 1;
    } else {
        status = commit();
    }
    flash_host_close();
    return status;
}
