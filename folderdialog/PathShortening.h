#pragma once
// Shortening of a path for a one-line status text: the leading folder is
// replaced by "..." until the rest fits, keeping the drive or server part and
// as many trailing folders as possible.
#include <string>
#include <string_view>

// Shortens `path` to at most `limit` characters with '/' as the separator. A
// path beginning with "//" keeps its server name ("//server/.../rest"); any
// other keeps what stands before its first separator ("/.../rest",
// "C:/.../rest"). Paths that fit, limits below 6 and paths with fewer than two
// separators from their first one on ("C:/x", "/x", "//server/x") are only
// cut to `limit`. Characters
// are UTF-8 code points; bytes that are not valid UTF-8 count as one character
// each and come back unchanged, so a multi-byte character is never split.
std::string ShortenPath(std::string_view path, int limit = 50);
