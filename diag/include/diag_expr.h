// Unsigned 32-bit infix expressions of the monitor's EXPR command.
#pragma once

#include <cstdint>

constexpr int EXPR_OPERAND_STACK = 16;
constexpr int EXPR_OPERATOR_STACK = 6;

// 0 with the value in *result; 1 after a syntax or arithmetic error (such as
// division by zero or unbalanced parentheses); -1 after a stack error (a
// missing or left-over operand, too many pending operands or operators).
int expr_eval(const char *text, uint32_t *result);
