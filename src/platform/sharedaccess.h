#pragma once

#include <QString>

#include <optional>

#include <sys/types.h>

// Kiosks under different accounts may share one data folder: what one of them
// creates there must stay usable by the others, and by no one more. The
// catalogue (LUMA.MDB), which every kiosk must read and write, is the model:
// a new file takes its group and its read and write bits; a new folder the
// same, with search wherever reading is allowed, and setgid so that what is
// created inside keeps the group.
namespace SharedAccess {

struct Model
{
    gid_t group = 0;
    mode_t fileMode = 0; // read and write bits only
    mode_t folderMode() const;
};

// The model for what is created in a folder: the catalogue in that folder,
// or in the folder holding it (EN-COURS, REQUETES). None without a catalogue:
// the system's defaults then stand.
std::optional<Model> forNewIn(const QString &nativeFolder);

// Gives a file or folder this program has just created, by its descriptor
// (so that no link is followed), the model's group and mode, whatever the
// umask. Best effort: a file system that keeps no owners or modes (some
// network shares) leaves the file as it was created.
void apply(int fd, bool folder, const std::optional<Model> &model);

} // namespace SharedAccess
