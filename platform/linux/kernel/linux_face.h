// What the Linux face's parts need from one another. Internal to the Linux face.
#pragma once

#include <string>

namespace linux_kernel {

// The registry database of the state directory (registry_face.cpp).
std::string RegistryPath();
bool OpenRegistry();
void CloseRegistry();

}  // namespace linux_kernel
