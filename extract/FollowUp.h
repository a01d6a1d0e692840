#pragma once
// After an extraction: find the unpacked disc image and build the follow-up
// program's command line from the user's command text.
#include "platform/Launch.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace extract {

// Looks for a disc image in `folder`: "*.iso", then "*.bin" when `useBin`,
// then "*.cue" when `useCue`; a later find replaces an earlier one. Names
// match with letter case ignored and the first in sorted order is taken.
// The folder text is used as given; a '/' is put between it and the name when
// it does not end with one. Returns the path found, or "" when none matches.
std::string FindImage(const std::string& folder, bool useBin, bool useCue);

// FindImage among the entries of `folder` that an extraction just wrote:
// `written` holds the names of the entries it unpacked, relative to the
// folder. An image that was there before and that the extraction did not
// write is never taken.
std::string FindWrittenImage(const std::string& folder, bool useBin, bool useCue,
                             const std::vector<std::string>& written);

// Splits a command into words the way a POSIX shell quotes, without running
// one: blanks (space, tab, newline) separate words; '...' keeps everything
// literally; "..." keeps everything except that a backslash before $ ` " \ or
// a newline escapes it; outside quotes a backslash escapes the next character
// and a backslash-newline is dropped. Nothing is expanded ($, ~, * stay as
// they are). Returns nothing when a quote is left open or the text ends in a
// lone backslash.
std::optional<std::vector<std::string>> SplitCommand(std::string_view command);

// Replaces every "%F" and "%f" inside `word` by `image`. Text taken from
// `image` is never scanned again.
std::string SubstituteImage(std::string_view word, std::string_view image);

// The words of `command` with the image path put in place of every "%F" and
// "%f", each word staying one argument however many blanks the path holds.
// Returns nothing for a command that cannot be split or has no words.
std::optional<std::vector<std::string>> BuildFollowUpArgs(std::string_view command, std::string_view image);

// Starts the follow-up program once: the words of `command` with the image
// path substituted (BuildFollowUpArgs), detached. A first word naming an
// existing non-executable file is opened with the desktop's opener. A first
// word that holds a placeholder is the unpacked image itself: it is only ever
// handed to the desktop's opener (the other words are dropped), however its
// mode bits came out of the archive. A command that is empty or cannot be
// split starts nothing and reports EINVAL's text.
platform::Expected<pid_t> LaunchFollowUp(std::string_view command, std::string_view image);

}  // namespace extract
