// Where the output goes. A regular file (or a name not yet taken) is written through a
// temporary file beside it, renamed over it only when everything succeeded, so that a
// failed or interrupted run leaves the file as it was and nothing behind.
#ifndef SEALWRIT_RIJNDAEL_OUTPUT_FILE_H
#define SEALWRIT_RIJNDAEL_OUTPUT_FILE_H

#include <limits.h>
#include <sys/stat.h>

namespace sealwrit {
namespace detail {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens path (standard output when null). A device, a pipe or a socket is written
    // directly. A symbolic link is followed, dangling or not: the file it names is
    // written, and the link stays. Reports a failure and returns false. in, when not
    // null, is the input's status: naming the same file for both is refused.
    bool Open(const char* path, const struct stat* in);
    int Fd() const { return m_fd; }
    // What error messages call the output.
    const char* Name() const { return m_path ? m_path : "standard output"; }
    // Makes the output final: given its permissions, flushed to the disk and renamed
    // into place, and the directory flushed. Reports a failure and returns false,
    // having removed the temporary file.
    bool Commit();
    // Removes the temporary file, if any; the target stays as it was.
    void Discard();

private:
    const char* m_path = nullptr;
    int m_fd = 1;
    bool m_temporary = false;  // m_fd is the temporary file, whose name the handler holds
    // While there is a temporary file: the directory it and the target are in, and the
    // target's name there.
    int m_dir = -1;
    char m_name[NAME_MAX + 1] = {};
    // What the new file gets once complete: the old one's permission bits without the
    // set-ID and sticky bits, or a new file's; and the old one's owner, where we may.
    mode_t m_mode = 0;
    bool m_replacing = false;
    uid_t m_owner = 0;
    gid_t m_group = 0;
};

}  // namespace detail
}  // namespace sealwrit

#endif
