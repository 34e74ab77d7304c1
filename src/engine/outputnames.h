#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

namespace vorpel {

// Output names within one batch. Items of one folder converted under one typed name would all
// write the same file, each replacing the last: a later item never replaces what an earlier
// item of the batch wrote, nor an item still queued (converting an item onto itself is fine).
// It gets the next free name instead, numbered as file managers number copies
// ("Untitled 2.jpeg"). A file from before the batch that nobody queued is still replaced, so
// re-running a conversion refreshes its output.
class OutputNames {
public:
    using PathTest = std::function<bool(const std::string& path)>;
    // `queued`: the path is an item of the batch; `exists`: something is there on disk.
    OutputNames(PathTest queued, PathTest exists);

    // The name (not the path) that the output of `source`, wanted as stem + extension in
    // `folder`, is written under; empty when no free name is left.
    std::string claim(const std::string& source, const std::string& folder, const std::string& stem,
                      const std::string& extension);

    // The batch under way, or null: routines run outside a batch name outputs as they want.
    static OutputNames* current();

    class Scope {
    public:
        explicit Scope(OutputNames& names);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        OutputNames* previous_;
    };

private:
    bool taken(const std::string& path, const std::string& source) const;

    PathTest queued_;
    PathTest exists_;
    std::set<std::string> claimed_;
    std::map<std::string, int> nextNumber_;  // by wanted path
};

// The numbered copy name: "Untitled" and ".jpeg", 2 give "Untitled 2.jpeg".
std::string numberedName(const std::string& stem, const std::string& extension, int n);

// What textutil keeps of a source name when it names the output (it replaces the extension):
// "report.rtf" gives "report", ".profile" stays ".profile".
std::string documentStem(const std::string& sourceName);

} // namespace vorpel
