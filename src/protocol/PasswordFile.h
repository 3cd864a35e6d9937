#pragma once
// A password read from a file, so that it appears neither on a command line
// nor in a process list. A file others may read would leak it all the same:
// such a file is refused. The command line and the fleet service share it.
#include <QString>

namespace vanta {

// The file's first line without its line break. False with a reason when the
// file cannot be read, is readable by group or others, or is empty.
bool ReadPasswordFile(const QString& path, QString& password, QString& error);

// The same for any secret kept in a file (the web service's access token):
// `what` names the file in the messages ("token file").
bool ReadSecretFile(const QString& path, const QString& what, QString& secret, QString& error);

}  // namespace vanta
