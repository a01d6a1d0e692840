#pragma once
// SAUCE: the metadata record that art editors append to a file (title,
// author, group, date). It is not part of the art.
#include <string_view>

// The file's bytes without a SAUCE record at its end: 128 bytes beginning
// "SAUCE00", the comment block ("COMNT" and 64 bytes per comment line the
// record announces) when one lies right before it, and the end-of-file byte
// 0x1A before those. A file without such a record comes back whole; a 0x1A
// anywhere else is left alone.
std::string_view WithoutSauce(std::string_view file);
