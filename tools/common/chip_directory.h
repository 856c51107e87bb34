// Where the command-line tools look for the chip description files (".COE"), the same for
// all of them: the directory given on the command line (even an empty one), else
// $ZQASM_CHIP_DIR when set and not empty, else share/zqasm/chips of an installed copy
// beside the program's bin folder, else a chips folder beside the program (a Windows
// build), else the chips of the build tree.
#ifndef ZQASM_TOOLS_CHIP_DIRECTORY_H_
#define ZQASM_TOOLS_CHIP_DIRECTORY_H_

#include <string>

namespace zqcli {

// `given` is the --chip-dir value, used when `isGiven`.
std::string chipDirectory(bool isGiven, const std::string& given);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_CHIP_DIRECTORY_H_
