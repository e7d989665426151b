#pragma once

#include <QString>

// Sets or clears the attribute that keeps new files out of a folder even
// for a user whose rights would let them in (Linux: immutable); false where
// the file system or the user's rights do not allow it.
bool setImmutable(const QString &folder, bool on);
