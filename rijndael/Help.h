// What the tool prints about itself: the usage line after a usage error, and -h.
#ifndef SEALWRIT_RIJNDAEL_HELP_H
#define SEALWRIT_RIJNDAEL_HELP_H

namespace sealwrit {
namespace detail {

extern const char kUsageLine[];
// The options, and how PHP's mcrypt and .NET's RijndaelManaged name what they take.
extern const char kHelpText[];

}  // namespace detail
}  // namespace sealwrit

#endif
