#ifndef KARDO_DIRECTORIES_H
#define KARDO_DIRECTORIES_H

/* Checking and creating the folder for an application's data files.
 *
 * TestAndCreateDirectory(path, ask) answers 1 when `path` is a directory,
 * already or after creating it, and 0 otherwise:
 * - A null or empty path gives 0 and no message.
 * - A name with two '/' in a row (a leading "//" excepted) or with one of the
 *   characters ? * : < > | " or the backslash is refused: the message
 *   "Ein Verzeichnisname darf keines der folgenden Zeichen enthalten :"
 *   followed by the list of characters, and 0. So a name written the Windows
 *   way (C:\Daten) gets a clear answer instead of a folder named after it.
 * - A path that does not fit into PATH_MAX bytes, also once made absolute,
 *   gives "ungültiger Verzeichnisname <path>" and 0.
 * - An existing directory gives 1 without any message, whatever `ask` is;
 *   an existing file that is not a directory gives
 *   "Verzeichnis <path> kann nicht angelegt werden" and 0.
 * - A missing directory gives 0 when `ask` is 0. Otherwise the user is asked
 *   "Das Verzeichnis <path> existiert nicht. Soll es angelegt werden ?";
 *   No gives 0, Yes creates the directory and every missing parent, from
 *   the top down. A part that cannot be created stops the work with
 *   "Verzeichnis <part> kann nicht angelegt werden" and 0.
 *
 * A relative path counts from the current directory; "." and ".." are
 * resolved in the text, without following symbolic links. The messages go
 * through the library's message-box handler (<kardo/message_box.h>), under
 * the program's name as caption; every text is UTF-8. */
#include <kardo/export.h>

KARDO_BEGIN_C

KARDO_API int TestAndCreateDirectory(const char* path, int ask);

KARDO_END_C

#endif
