// Unsigned 32-bit infix evaluator: one left-to-right pass over an operand
// stack and an operator stack, with parentheses grouping.
#include <cctype>
#include <cstring>
#include <iterator>
#include <string>

#include "diag_expr.h"
#include "diag_parse.h"
#include "sal.h"

namespace {

struct Operator {
    const char *text;
    char code;
};

// Two-character forms come before the one-character forms they start with.
constexpr Operator kOperators[] = {
    {"<<", 'l'}, {">>", 'r'}, {"<=", '['}, {">=", ']'}, {"!=", '!'}, {"==", '='},
    {"&&", 'A'}, {"||", 'O'}, {"(", '('},  {")", ')'},  {"~", '~'},  {"!", 'N'},
    {"*", '*'},  {"/", '/'},  {"%", '%'},  {"+", '+'},  {"-", '-'},  {"&", '&'},
    {"|", '|'},  {"^", '^'},  {"<", '<'},  {">", '>'},
};
static_assert(std::size(kOperators) == 22);

struct Context {
    uint32_t operands[EXPR_OPERAND_STACK];
    int operand_top = 0;
    char operators[EXPR_OPERATOR_STACK];
    int operator_top = 0;
    int error = 0;
};

int expr_prec(Context *c, char code) {
    switch (code) {
        case '(':
            return 0;
        case '~':
        case 'N':
        case 'P':
        case 'U':
            return 1;
        case '*':
        case '/':
        case '%':
            return 2;
        case '+':
        case '-':
            return 3;
        case 'l':
        case 'r':
            return 4;
        case '[':
        case ']':
        case '<':
        case '>':
            return 5;
        case '!':
        case '=':
            return 6;
        case '&':
            return 7;
        case '^':
            return 8;
        case '|':
            return 9;
        case 'A':
            return 10;
        case 'O':
            return 11;
        case ')':
            return 12;
        default:
            c->error = 1;
            return 0;
    }
}

bool expr_push(Context *c, uint32_t v) {
    if (c->operand_top >= EXPR_OPERAND_STACK) {
        c->error = -1;
        return false;
    }
    c->operands[c->operand_top++] = v;
    return true;
}

uint32_t expr_pop(Context *c) {
    if (c->operand_top == 0) {
        c->error = -1;
        return 0;
    }
    return c->operands[--c->operand_top];
}

bool is_unary(char code) {
    return code == 'U' || code == 'P' || code == '~' || code == 'N';
}

void expr_apply(Context *c, char code) {
    if (code == '(' || code == ')') return;
    uint32_t r = expr_pop(c);
    if (is_unary(code)) {
        uint32_t v = code == 'U' ? 0u - r : code == '~' ? ~r : code == 'N' ? (r == 0) : r;
        expr_push(c, v);
        return;
    }
    uint32_t l = expr_pop(c);
    uint32_t v = 0;
    switch (code) {
        case 'l':
            v = l << (r & 31);
            break;
        case 'r':
            v = l >> (r & 31);
            break;
        case '[':
            v = l <= r;
            break;
        case ']':
            v = l >= r;
            break;
        case '!':
            v = l != r;
            break;
        case '=':
            v = l == r;
            break;
        case 'A':
            v = l != 0 && r != 0;
            break;
        case 'O':
            v = l != 0 || r != 0;
            break;
        case '*':
            v = l * r;
            break;
        case '/':
        case '%':
            if (r == 0) {
                c->error = 1;
                v = 0;  // the divisor
            } else {
                v = code == '/' ? l / r : l % r;
            }
            break;
        case '+':
            v = l + r;
            break;
        case '-':
            v = l - r;
            break;
        case '&':
            v = l & r;
            break;
        case '|':
            v = l | r;
            break;
        case '^':
            v = l ^ r;
            break;
        case '<':
            v = l < r;
            break;
        case '>':
            v = l > r;
            break;
        default:
            c->error = 1;
            break;
    }
    expr_push(c, v);
}

char expr_token(const char **cursor) {
    for (const Operator &op : kOperators) {
        size_t n = std::strlen(op.text);
        if (std::strncmp(*cursor, op.text, n) == 0) {
            *cursor += n;
            return op.code;
        }
    }
    (*cursor)++;
    return 'x';
}

bool push_operator(Context *c, char code) {
    if (c->operator_top >= EXPR_OPERATOR_STACK) {
        c->error = -1;  // too many pending operators
        return false;
    }
    c->operators[c->operator_top++] = code;
    return true;
}

}  // namespace

int expr_eval(const char *text, uint32_t *result) {
    Context c;
    bool operand = true;
    const char *p = text != nullptr ? text : "";
    bool stop = false;
    while (!stop) {
        while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)))
            p++;
        if (*p == '\0') break;
        if (std::isdigit(static_cast<unsigned char>(*p))) {
            const char *end = p;
            uint32_t v = static_cast<uint32_t>(sal_ctoi(p, &end));
            // A number wider than the 32-bit values would wrap to another: it
            // stands as 0 and ends the evaluation with an error.
            if (end > p && !parse_integer_fits(std::string(p, end).c_str(), 32)) {
                expr_push(&c, 0);
                c.error = 1;
                break;
            }
            p = end > p ? end : p + 1;
            if (!expr_push(&c, v)) break;
            operand = false;
            continue;
        }
        char code = expr_token(&p);
        if (code == 'x') {
            c.error = 1;
            break;
        }
        if (operand) {
            if (code == '-') code = 'U';
            if (code == '+') code = 'P';
        }
        if (is_unary(code) || code == '(') {
            if (!operand) {
                c.error = 1;  // an operand stands where an operator belongs
                break;
            }
            stop = !push_operator(&c, code);
            continue;
        }
        if (code == ')') {
            // Everything back to the matching "(" belongs to the group.
            while (c.operator_top > 0 && c.operators[c.operator_top - 1] != '(')
                expr_apply(&c, c.operators[--c.operator_top]);
            if (c.operator_top == 0) {
                c.error = 1;  // no "(" to close
                break;
            }
            c.operator_top--;
            operand = false;
            continue;
        }
        int prec = expr_prec(&c, code);
        while (c.operator_top > 0 && c.operators[c.operator_top - 1] != '(' &&
               expr_prec(&c, c.operators[c.operator_top - 1]) <= prec)
            expr_apply(&c, c.operators[--c.operator_top]);
        stop = !push_operator(&c, code);
        operand = true;
    }
    if (c.error >= 0) {
        while (c.operator_top > 0) {
            char code = c.operators[--c.operator_top];
            if (code == '(') c.error = 1;  // never closed
            expr_apply(&c, code);
        }
    }
    uint32_t value = expr_pop(&c);
    if (c.operand_top != 0) c.error = -1;
    if (result != nullptr) *result = value;
    return c.error;
}
