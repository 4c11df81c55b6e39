#pragma once
// Inside the library: the directory creation behind TestAndCreateDirectory.
#include <string>

// Makes `path` absolute against the current directory and resolves "." and
// ".." in the text, without following links. False for a null or empty
// path, when the current directory is unknown, or when the result does not
// fit into PATH_MAX bytes.
bool AbsoluteDirectoryPath(const char* path, std::string& absolute);

// Creates the directory `path` with every missing parent, from the top down.
// 1 when it is a directory at the end; 0 after a message that names the
// path (invalid) or the part that could not be created.
int CreateDirectoryTree(const char* path);
