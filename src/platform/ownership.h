#pragma once

#include <QString>

#include <sys/stat.h>

// Gives a file about to take the place of another (a repaired or converted
// database) what decides who may use it: the original's group and permission
// bits, and its owner when the administrator runs this. Then every account
// that could use the original (a kiosk under a second account) can use the new
// file, and none that could not.
//
// An account outside the original's group cannot give that group: the file
// then keeps the account's own group, without the group bits, never opening it
// to more than the original was. The set-id and sticky bits are never given.
// Returns false, with errno set, when the permissions could not be set.
bool takeOwnershipOf(int fd, const struct stat &original);

// The same on a file named by its path (not followed when it is a link).
bool takeOwnershipOf(const QString &nativePath, const struct stat &original);
