// Programs run as their users run them: spawned with pipes for their standard
// streams, fed, read to the end and waited for; and the scratch folders they work in.
#ifndef SEALWRIT_TEST_SPAWN_H
#define SEALWRIT_TEST_SPAWN_H

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

typedef std::vector<std::string> Args;
Args operator+(Args a, const Args& b);
inline std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct Outcome {
    int status;  // the exit status, or 128 + the signal that ended the program
    std::string out, err;
};

// A started program: standard input from a pipe the test feeds, standard output and
// standard error into pipes the test reads. The signals a run may meet start at their
// defaults, whatever the test runner's are. environment: "NAME=value" entries added
// to the test's own.
class Child {
public:
    explicit Child(const Args& command, const Args& environment = {});
    // Feeds input and closes standard input, reads both outputs to their end, waits.
    Outcome Finish(const std::string& input = "");

    pid_t pid = 0;
    int m_in, m_out, m_err;
};

// The output of a run that must succeed silently.
std::string Expect(const Outcome& o);

std::string Slurp(const std::string& path);
void Spill(const std::string& path, const std::string& data);

// A scratch folder, and what is in it: a temporary file left behind shows here.
struct Dir {
    Dir();
    ~Dir();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::set<std::string> List() const;
    std::string path;
};

#endif
