#pragma once

// `tervalo_free --record FILE [--delay SECONDS] [--stop-key CODE] [--force]`
// (parsed by CommandLine): records without a window, with the record
// dialog's default switches, delay and stop combination unless given, until
// the stop combination; then writes the project through the same crash-safe
// writer as Save and prints one line (pages, seconds). The stop combination
// pressed during the delay cancels: nothing is written, exit code 3.

#include "app/commandline.h"
#include "project/projectfile.h"
#include "record/recordmapping.h"

#include <QString>

class RecordCommand {
public:
    RecordCommand(CommandLine::Options options, bool japanese);

    /// Why the file must not or cannot be the output, as one line in the
    /// language asked for; empty when it can. Told before the recording.
    QString outputProblem() const;
    /// Records and writes; needs the application object and the desktop.
    /// Returns the exit code.
    int exec();

private:
    /// Writes the pages to the output file and prints the result line;
    /// false (and the reason printed) when it could not.
    bool write(const RecordMapping::Pages &pages, double seconds) const;
    /// Writes the recording to the file asked for, checking it once more
    /// first; a new file is created exclusively unless --force.
    ProjectFile::Result writeOutput(const RecordList &commands, const RecordList &conditions) const;
    /// After a failed write: saves the recording under a free name beside the
    /// file, else in the per-user data folder, and tells where.
    void keepElsewhere(const ProjectFile::Result &failed, const RecordList &commands,
                       const RecordList &conditions) const;

    CommandLine::Options options;
    bool japanese;
};
