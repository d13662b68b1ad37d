// Shell variables: one global list and a chain of local scopes, the newest
// current. Background jobs set and read them from their own threads, so one
// lock guards the lists and the scope chain.
#include <cstdio>
#include <cstring>

#include "diag_shell.h"
#include "sal.h"
#include "sal_fs.h"

struct diag_scope_t {
    diag_scope_t *prev;
    diag_var_t head;
    uint32_t reserved[2];
};

namespace {

diag_var_t global_head = {&global_head, &global_head, nullptr, nullptr};
diag_scope_t *current_scope = nullptr;

sal_mutex_t var_lock() {
    static sal_mutex_t m = sal_mutex_create("diag_var");
    return m;
}

struct Guard {
    Guard() { sal_mutex_take(var_lock(), sal_mutex_FOREVER); }
    ~Guard() { sal_mutex_give(var_lock()); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

char *must_strdup(const char *s) {
    char *c = sal_strdup(s);
    SAL_ASSERT(c != nullptr);
    return c;
}

diag_var_t *list_find(diag_var_t *head, const char *name) {
    for (diag_var_t *v = head->next; v != head; v = v->next)
        if (std::strcmp(v->name, name) == 0) return v;
    return nullptr;
}

diag_var_t *find_locked(const char *name, int local, int global) {
    diag_var_t *v = nullptr;
    if (local && current_scope != nullptr) v = list_find(&current_scope->head, name);
    if (v == nullptr && global) v = list_find(&global_head, name);
    return v;
}

void free_var(diag_var_t *v) {
    v->prev->next = v->next;
    v->next->prev = v->prev;
    sal_free(v->name);
    sal_free(v->value);
    sal_free(v);
}

void print_list(const char *title, diag_var_t *head) {
    sal_printf("\n%20s | %-20s\n---------------------+---------------------\n", title, "Value");
    for (diag_var_t *v = head->next; v != head; v = v->next)
        sal_printf("%20s = %-20s\n", v->name, v->value);
    sal_printf("-------------------------------------------\n");
}

}  // namespace

diag_scope_t *var_push_scope(void) {
    auto *s = static_cast<diag_scope_t *>(sal_alloc(sizeof(diag_scope_t), "diag_scope"));
    SAL_ASSERT(s != nullptr);
    s->head.next = s->head.prev = &s->head;
    Guard g;
    s->prev = current_scope;
    current_scope = s;
    return s;
}

void var_pop_scope(diag_scope_t *scope) {
    {
        Guard g;
        if (scope == nullptr || scope != current_scope) return;
        current_scope = scope->prev;
    }
    while (scope->head.next != &scope->head)
        free_var(scope->head.next);
    sal_free(scope);
}

int var_exists(const char *name, int local, int global) {
    Guard g;
    return find_locked(name, local, global) != nullptr;
}

int var_get_copy(const char *name, char *buf, size_t size) {
    Guard g;
    diag_var_t *v = find_locked(name, 1, 1);
    if (v == nullptr) return 0;
    std::snprintf(buf, size, "%s", v->value);
    return 1;
}

const char *var_get(const char *name) {
    Guard g;
    diag_var_t *v = find_locked(name, 1, 1);
    return v != nullptr ? v->value : nullptr;
}

int var_set(const char *name, const char *value, int local, int system) {
    if (name == nullptr || (name[0] == '_' && !system)) return -1;
    char *copy = must_strdup(value != nullptr ? value : "");
    Guard g;
    diag_var_t *head = local && current_scope != nullptr ? &current_scope->head : &global_head;
    diag_var_t *v = list_find(head, name);
    if (v != nullptr) {
        sal_free(v->value);
        v->value = copy;
        return 0;
    }
    v = static_cast<diag_var_t *>(sal_alloc(sizeof(diag_var_t), "diag_var"));
    SAL_ASSERT(v != nullptr);
    v->name = must_strdup(name);
    v->value = copy;
    v->prev = head->prev;
    v->next = head;
    head->prev->next = v;
    head->prev = v;
    return 0;
}

int var_set_integer(const char *name, int value, int local, int system) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return var_set(name, text, local, system);
}

int var_unset(const char *name, int local, int global, int system) {
    if (name == nullptr || (name[0] == '_' && !system)) return -1;
    Guard g;
    diag_var_t *v = find_locked(name, local, global);
    if (v == nullptr) return -1;
    free_var(v);
    return 0;
}

void diag_boot_vars(void) {
    char home[256];
    if (sal_homedir_get(home, sizeof home) == nullptr) home[0] = '\0';
    char path[260];
    std::snprintf(path, sizeof path, ". %.254s", home);
    var_set("path", path, 0, 0);
    var_set("bootdir", home, 0, 0);
    var_set("host_board", "1", 0, 0);
}

// ---------------------------------------------------------------- commands

namespace {

int set_or_unset(args_t *a, int local) {
    const char *title = local ? "Local Variables" : "Global Variables";
    if (ARG_CNT(a) == 0) {
        Guard g;
        print_list(title, local && current_scope ? &current_scope->head : &global_head);
        return CMD_OK;
    }
    if (ARG_CNT(a) > 2) return CMD_USAGE;
    const char *name = ARG_GET(a);
    const char *value = ARG_GET(a);
    if (value == nullptr) return var_unset(name, local, !local, 0) == 0 ? CMD_OK : CMD_FAIL;
    if (!local && var_exists(name, 1, 0))
        sal_printf("%s: Warning: variable %s shadowed by local variable\n", ARG_CMD(a), name);
    return var_set(name, value, local, 0) == 0 ? CMD_OK : CMD_FAIL;
}

}  // namespace

int sh_setenv(int, args_t *a) {
    return set_or_unset(a, 0);
}

int sh_local(int, args_t *a) {
    return set_or_unset(a, 1);
}

int sh_printenv(int, args_t *a) {
    if (ARG_CNT(a) > 1) return CMD_FAIL;
    const char *w = ARG_CUR(a);
    Guard g;
    if (w == nullptr) {
        if (current_scope != nullptr) print_list("Local Variables", &current_scope->head);
        print_list("Global Variables", &global_head);
    } else if (sal_strcasecmp(w, "local") == 0) {
        ARG_GET(a);
        if (current_scope != nullptr) print_list("Local Variables", &current_scope->head);
    } else if (sal_strcasecmp(w, "global") == 0) {
        ARG_GET(a);
        print_list("Global Variables", &global_head);
    } else if (sal_strcasecmp(w, "all") == 0) {
        ARG_GET(a);
        int level = 1;
        for (diag_scope_t *s = current_scope; s != nullptr; s = s->prev) {
            char title[32];
            std::snprintf(title, sizeof title, "Scope Level %d", level++);
            print_list(title, &s->head);
        }
        print_list("Global Variables", &global_head);
    }
    return CMD_OK;
}
