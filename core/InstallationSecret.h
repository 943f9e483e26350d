#pragma once
// The secret of this installation: 32 random bytes made at the first start and kept in
// the data folder (installation.key, 64 hexadecimal digits, mode 0600: the user alone
// may read it). It keys the signature of the program's own mails and the token of the
// approval link (protocol/OwnMailSignature.h), so that what a stranger must send back
// is bound to something only this installation knows.
//
// The secret is never logged, shown or sent. The bytes come from getrandom(2), else
// /dev/urandom; when neither gives them no secret is made (a weak secret would be
// worse than none: nothing then verifies). A file that is damaged is left as it is
// and reported; one that others may read is made private again.

#include <filesystem>
#include <string>
#include <string_view>

namespace InstallationSecret {

inline constexpr std::string_view kFileName = "installation.key";
inline constexpr std::size_t kSecretBytes = 32;

// The secret's bytes for the current program folder, made when the file is missing.
// Empty (and logged at level 0) when it can neither be read nor made.
std::string Key();

// Makes the secret at start-up when it is missing; false when there is none.
bool Ensure();

// Forgets what was read, so the next Key() reads the file again (tests, and a program
// folder that changed).
void Forget();

std::filesystem::path FilePath();

}  // namespace InstallationSecret
