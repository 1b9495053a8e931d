#pragma once
// Parameter files (".id"): assignments "key := value;" grouped into a common
// section, the neuron's section, a section read after the run length is fixed,
// and one section per recording. Comments run from "{" to "}" and from "/" to
// the end of the line.

#include <string>
#include <string_view>

namespace membrix {

struct Session;

// Applies the assignments of one section of a file: those after the token
// start (every assignment when start is "Any") up to the token end. Every
// applied assignment is echoed into ParamsMemo; an unknown key is not applied
// and leaves a note (file, line, key) in SimplexMemo. Throws IoError when the
// file cannot be read and FormatError (file, line, token) for a value that
// cannot be converted or a model family or geometry the program does not know;
// assignments applied before it stay applied. The file is read once, whole.
void ReadSection(Session& s, const std::string& file, std::string_view start, std::string_view end);

// The same for a file's text already read (file names it in the messages),
// for instance the open parameter file's IdFileText.
void ReadSectionOfText(Session& s, std::string_view text, const std::string& file, std::string_view start,
                       std::string_view end);

// Applies one assignment read from file at line (for the messages) and echoes it.
void Assign(Session& s, std::string_view key, std::string_view value, const std::string& file = {},
            int line = 0);

// Opens a parameter file as the program does: the program-start globals, the
// common section, the neuron's defaults and section, the run length, and the
// section read after it. The file is read once (a pipe works as the file
// does); it becomes the session's IdFileName and its text IdFileText, from
// which the recordings' sections are read later.
void LoadParameterFile(Session& s, const std::string& file);

// Leaves the session without a parameter file: the built-in sets apply again.
void CloseParameterFile(Session& s);

// The parameters of recording k for a run: its section of the open parameter
// file's kept text ("ParametersFromFile" for 1, "ParametersFromFile"k for
// 2 ... 19), or the built-in set of that recording when no file is open. A
// file given for the recording (RecordingGlobals::SmplFileGiven) stays its file.
void LoadRecordingSection(Session& s, int k);

// Where the token first stands in a parameter file's text, outside comments
// (std::string::npos when nowhere): the place of a section marker.
std::size_t FindToken(const std::string& text, std::string_view token);

// The start marker of recording k's section, and of the section after it.
std::string RecordingSectionMarker(int k);

}  // namespace membrix
