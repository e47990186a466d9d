#pragma once

#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

namespace common {

// The folders of a crash report database: reports are written into "new", appear complete in
// "pending", and move to "completed" once uploaded. The upload address is kept in the file
// "upload-url" (0600), so it never shows on a command line.
class CrashReportDatabase {
public:
    // Completed reports beyond this many are removed, the oldest first.
    static constexpr std::size_t kMaxCompletedReports = 20;

    explicit CrashReportDatabase(boost::filesystem::path root);

    // Creates the root and its folders (0700) when missing. False, with the reason in
    // `error`, when one cannot be made or is not a folder.
    bool initialize(std::string& error) const;

    // The names of the pending reports, oldest first.
    std::vector<std::string> pendingReports() const;
    boost::filesystem::path pendingPath(const std::string& report) const;
    // Moves an uploaded report to "completed" and prunes the oldest completed reports.
    bool markCompleted(const std::string& report) const;
    std::vector<std::string> completedReports() const;

    // Writes the upload address (temporary file, then rename). False when it fails.
    bool writeUploadUrl(const std::string& url) const;
    // The stored upload address; empty when there is none.
    std::string readUploadUrl() const;

    const boost::filesystem::path& root() const { return _root; }

private:
    std::vector<std::string> reportsIn(const boost::filesystem::path& folder) const;

    boost::filesystem::path _root;
};

}  // namespace common
