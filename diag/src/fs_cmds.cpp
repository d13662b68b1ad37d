// File commands of the monitor over the platform's file layer: the RAM file
// system kept in flash, "flash:" names and remote "host:" files.
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "diag_shell.h"
#include "sal.h"
#include "sal_fs.h"
#include "shell_cmds.h"

int sh_copy_file(const char *cmd, const char *src, const char *dst) {
    FILE *in = sal_fopen(src, "rb");
    if (in == nullptr) {
        sal_printf("%s: Error: unable to open input file: %s\n", cmd, src);
        return CMD_FAIL;
    }
    // Writing a file onto itself (under another name) would empty it first.
    if (FILE *same = sal_fopen(dst, "rb"); same != nullptr) {
        struct stat si {
        }, so{};
        bool alias = fstat(fileno(in), &si) == 0 && fstat(fileno(same), &so) == 0 &&
                     si.st_dev == so.st_dev && si.st_ino == so.st_ino;
        sal_fclose(same);
        if (alias) {
            sal_printf("%s: Error: source and destination are the same file: %s\n", cmd, dst);
            sal_fclose(in);
            return CMD_FAIL;
        }
    }
    FILE *out = sal_fopen(dst, "wb");
    if (out == nullptr) {
        sal_printf("%s: Error: unable to open output file: %s\n", cmd, dst);
        sal_fclose(in);
        return CMD_FAIL;
    }
    int rv = CMD_OK;
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        if (std::fwrite(buf, 1, n, out) != n) {
            sal_printf("%s: Error writing %s\n", cmd, dst);
            rv = CMD_FAIL;
            break;
        }
    }
    if (rv == CMD_OK && std::ferror(in)) {
        sal_printf("%s: Error reading %s\n", cmd, src);
        rv = CMD_FAIL;
    }
    sal_fclose(in);
    if (sal_fclose(out) != 0 && rv == CMD_OK) {
        sal_printf("%s: Error closing %s\n", cmd, dst);
        rv = CMD_FAIL;
    }
    if (rv != CMD_OK && sal_remove(dst) != 0)
        sal_printf("%s: Error removing partial output file %s\n", cmd, dst);
    return rv;
}

int sh_ls(int, args_t *a) {
    if (ARG_CUR(a) != nullptr && ARG_CUR(a)[0] == '-') ARG_GET(a);
    if (ARG_CNT(a) == 0) {
        sal_ls(".", 0);
        return CMD_OK;
    }
    const char *name;
    while ((name = ARG_GET(a)) != nullptr)
        sal_ls(name, 0);
    return CMD_OK;
}

int sh_pwd(int, args_t *a) {
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    char buf[129];
    if (sal_getcwd(buf, sizeof buf) == nullptr) {
        sal_printf("%s: Error: Unable to determine current directory\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    sal_printf("Working Directory: %s\n", buf);
    return CMD_OK;
}

int sh_cd(int, args_t *a) {
    bool sethome = false;
    if (ARG_CUR(a) != nullptr && sal_strcasecmp(ARG_CUR(a), "-sethome") == 0) {
        ARG_GET(a);
        sethome = true;
    }
    const char *dir = ARG_GET(a);
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    if (sethome && dir == nullptr) {
        sal_printf("%s: Invalid home directory\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    if (sal_cd(dir) != 0) {
        sal_printf("%s: Invalid directory: %s\n", ARG_CMD(a), dir != nullptr ? dir : "<home>");
        return CMD_FAIL;
    }
    if (!sethome) return CMD_OK;
    char cwd[256];
    if (sal_getcwd(cwd, sizeof cwd) == nullptr) {
        sal_printf("%s: Invalid home directory\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    if (sal_homedir_set(cwd) != 0) {
        sal_printf("%s: Unable to set home directory: %s\n", ARG_CMD(a), cwd);
        return CMD_FAIL;
    }
    return CMD_OK;
}

// The source's last name component: after its last '/', else its last ':'.
static const char *copy_target(const char *src) {
    const char *p = std::strrchr(src, '/');
    if (p == nullptr) p = std::strrchr(src, ':');
    return p != nullptr && p[1] != '\0' ? p + 1 : nullptr;
}

int sh_copy(int, args_t *a) {
    if (ARG_CNT(a) < 1 || ARG_CNT(a) > 2) return CMD_USAGE;
    const char *src = ARG_GET(a);
    const char *dst = ARG_GET(a);
    if (dst == nullptr && (dst = copy_target(src)) == nullptr) {
        sal_printf("%s: Error: No file to copy TO\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    return sh_copy_file(ARG_CMD(a), src, dst);
}

int sh_rm(int, args_t *a) {
    if (ARG_CNT(a) == 0) return CMD_USAGE;
    int rv = CMD_OK;
    const char *name;
    while ((name = ARG_GET(a)) != nullptr) {
        if (sal_remove(name) != 0) {
            sal_printf("%s: Warning: failed to remove file: %s\n", ARG_CMD(a), name);
            rv = CMD_FAIL;
        }
    }
    return rv;
}

int sh_move(int, args_t *a) {
    if (ARG_CNT(a) != 2) return CMD_USAGE;
    const char *from = ARG_GET(a);
    const char *to = ARG_GET(a);
    if (sal_rename(from, to) != 0) {
        sal_printf("%s: Warning: failed to rename file: %s\n", ARG_CMD(a), from);
        return CMD_FAIL;
    }
    return CMD_OK;
}

// A command naming one directory for op; what says what failed.
static int dir_command(args_t *a, int (*op)(const char *), const char *what) {
    if (ARG_CNT(a) != 1) return CMD_USAGE;
    const char *path = ARG_GET(a);
    if (op(path) != 0) {
        sal_printf("%s: Warning: failed to %s directory: %s\n", ARG_CMD(a), what, path);
        return CMD_FAIL;
    }
    return CMD_OK;
}

int sh_mkdir(int, args_t *a) {
    return dir_command(a, sal_mkdir, "create");
}

int sh_rmdir(int, args_t *a) {
    return dir_command(a, sal_rmdir, "remove");
}

// Pages one open file until its end or until the reader quits.
static void more_file(FILE *f) {
    char line[1024];
    int shown = 0;
    int next_stop = diag_settings.more_lines > 0 ? diag_settings.more_lines : 20;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        sal_printf("%s", line);
        if (std::strchr(line, '\n') == nullptr && !std::feof(f)) continue;  // rest of a long line
        if (++shown < next_stop) continue;
        char prompt[96];
        std::snprintf(prompt, sizeof prompt,
                      "\x1b[7mLine: %d ----- 'q' to quit, any key to continue -----\x1b[m", shown);
        int c = sal_readchar(prompt);
        sal_printf("\r\x1b[K");
        if (c < 0 || c == 'q' || c == 'Q') return;
        if (c == '\r' || c == '\n' || c == 0)
            next_stop = shown + 1;
        else
            next_stop = shown + (diag_settings.more_lines > 0 ? diag_settings.more_lines : 20);
    }
}

int sh_more(int, args_t *a) {
    if (ARG_CNT(a) == 0) return CMD_USAGE;
    int rv = CMD_OK;
    const char *name;
    while ((name = ARG_GET(a)) != nullptr) {
        FILE *f = sal_fopen(name, "r");
        if (f == nullptr) {
            sal_printf("%s: Error: Unable to open file: %s\n", ARG_CMD(a), name);
            rv = CMD_FAIL;
            continue;
        }
        more_file(f);
        sal_fclose(f);
    }
    return rv;
}

int sh_save(int, args_t *a) {
    if (ARG_CNT(a) == 0) return CMD_USAGE;
    const char *name = ARG_GET(a);
    FILE *f = sal_fopen(name, "w");
    if (f == nullptr) {
        sal_printf("%s: Error: Unable to open file: %s\n", ARG_CMD(a), name);
        return CMD_FAIL;
    }
    if (ARG_CNT(a) > 0) {
        const char *w;
        const char *sep = "";
        while ((w = ARG_GET(a)) != nullptr) {
            std::fprintf(f, "%s%s", sep, w);
            sep = " ";
        }
        std::fputc('\n', f);
    } else {
        char line[512];
        while (diag_readline("< ", line, sizeof line, nullptr) != nullptr)
            std::fprintf(f, "%s\n", line);
    }
    if (sal_fclose(f) != 0) {
        sal_printf("%s: Error closing %s\n", ARG_CMD(a), name);
        return CMD_FAIL;
    }
    return CMD_OK;
}

int sh_flashinit(int unit, args_t *a) {
    if (ARG_CNT(a) == 0) return CMD_USAGE;
    int format = 0;
    char *loader = nullptr;
    char *os = nullptr;
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "Format", PQ_BOOL, nullptr, &format, nullptr);
    parse_table_add(&pt, "Loader", PQ_STRING, const_cast<char *>(""), &loader, nullptr);
    parse_table_add(&pt, "OS", PQ_STRING, const_cast<char *>(""), &os, nullptr);
    int rv = CMD_OK;
    if (parse_table_args(a, &pt) < 0) {
        rv = CMD_FAIL;
    } else if (ARG_CNT(a) > 0) {
        sal_printf("%s: Error: extra options starting with \"%s\"\n", ARG_CMD(a), ARG_CUR(a));
        rv = CMD_FAIL;
    }
    if (rv == CMD_OK && format) {
        sal_printf("%s: Warning: Formatting flash will destroy all files\n", ARG_CMD(a));
        char answer[16];
        if (diag_readline("OK to continue (yes/no)? ", answer, sizeof answer, "no") == nullptr ||
            answer[0] == '\0' || sal_strncasecmp(answer, "yes", std::strlen(answer)) != 0 ||
            std::strlen(answer) > 3) {
            parse_table_done(&pt);
            return CMD_OK;
        }
    }
    if (rv == CMD_OK && loader != nullptr && loader[0] != '\0' && sal_flash_boot(loader) != 0) {
        sal_printf("%s: Error: Unable to flash loader image: %s\n", ARG_CMD(a), loader);
        rv = CMD_FAIL;
    }
    if (rv == CMD_OK && format && sal_flash_init(1) != 0) {
        sal_printf("%s: Error: Unable to Initialize flash file system\n", ARG_CMD(a));
        rv = CMD_FAIL;
    }
    if (rv == CMD_OK && os != nullptr && os[0] != '\0')
        rv = sh_copy_file(ARG_CMD(a), os, "flash:dxp");
    parse_table_done(&pt);
    return rv;
}

int sh_flashsync(int, args_t *a) {
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    return sal_flash_sync() < 0 ? CMD_FAIL : CMD_OK;
}
