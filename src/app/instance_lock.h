// One installer per package: the lock a running installer holds for the package
// file it writes, so that a second start of the same kit never writes the same file.
#pragma once

#include <string>

namespace app {

// The lock's name for a package path given in a form that names each file once
// (Windows: the folder's long path, upper-cased): a prefix and a digest of the path,
// so that any path fits the length and the characters an object name allows.
std::u16string InstanceLockName(const std::u16string& packagePath);

}  // namespace app
