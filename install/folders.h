// Folder helpers of the install run: a folder with its missing parents, a
// fresh temporary folder name, and moving or deleting a tree with the shell.
#ifndef OV_INSTALL_FOLDERS_H
#define OV_INSTALL_FOLDERS_H

#include <windows.h>

#include <stddef.h>

// Creates the folder and any missing parents: 0 created; 2 not created (it
// exists already, a failure other than a missing parent, or no parent left
// to create); 3 the parents were made but the folder itself then failed.
int CreateDirectoryTree(const wchar_t* path);

// `<temporary folder>\<n>` for the first hexadecimal n from 1 at which
// nothing exists yet. The folder is not created.
void MakeTempFolderName(wchar_t* out, size_t capacity);

// Moves the folder `from` with the shell: onto `to` when that is missing or
// ends in the same name (the two trees merge, files from `from` replacing
// same-named ones), else into `to`. 0 only when `from` is gone and its whole
// tree stands where it belongs; -1 otherwise. Where the shell reports success
// but left the move undone or nested the tree one level too deep, the move
// is completed here. Nothing is moved (-1) when a file would take the place
// of a folder or a folder that of a file, at `to`, above it or within.
int ShellMove(HWND owner, const wchar_t* from, const wchar_t* to);

// Deletes a file or folder tree for good; nothing when it does not exist.
void ShellDeleteTree(const wchar_t* path);

#endif
