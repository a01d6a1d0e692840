#pragma once
// The extraction side of a clean verification run, called by the status
// line's click handler once the check has passed.
class TForm1;

// Chooses the archive to extract (the first volume of the RAR set listed in
// the SFV file, else the last file checked), then opens the folder prompt
// when "choose where to extract" is on, and extracts into the configured
// folder with the follow-up launch when "Extract to Directory" is on.
void ExtractAfterCleanCheck(TForm1& form);
