// Internals of the web login shared by its modules and tests.
#pragma once

#include <cstdint>

namespace webauth_internal {

// Changes whenever the user name or password is set, so that a cached
// cookie is computed again.
uint32_t account_generation_get();

// The stored password record: 15 scrambled bytes, then the time byte t.
// text holds at most 15 characters (bytes after its NUL are ignored).
void password_scramble(const char *text, uint8_t t, uint8_t record[16]);
// Undoes password_scramble; text gets 16 bytes, the last one a NUL.
void password_unscramble(const uint8_t record[16], char text[16]);

// Forgets the failed logins of every client address.
void clients_forget();

}  // namespace webauth_internal
