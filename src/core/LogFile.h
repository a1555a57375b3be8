#pragma once

#include <QString>

// Saves the text of the conversation log into the file at path, byte for byte
// in Windows-1251 with nothing added: no byte-order mark, no line end of its
// own (the log's lines already end in CR LF). An existing file is replaced
// only once the new content is written whole; an empty text gives an empty file.
//
// Throws Exception("Cannot create file <full path>") when the file cannot be
// created or opened, and the same when a write fails part way (a full disk),
// so a short file is never reported as saved.
void saveLogFile(const QString& path, const QString& text);
