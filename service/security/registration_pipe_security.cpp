#include "registration_pipe_security.h"

#include <sddl.h>

namespace zvu {

static_assert(kInteractiveUsersPipeAccess ==
                  ((FILE_GENERIC_READ | FILE_GENERIC_WRITE) & ~FILE_CREATE_PIPE_INSTANCE),
              "interactive users: read and write, never pipe creation");
static_assert(FILE_CREATE_PIPE_INSTANCE == FILE_APPEND_DATA, "the two rights share their bit");

RegistrationPipeSecurity::RegistrationPipeSecurity(const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    error_ = GetLastError();
    return;
  }
  descriptor_.reset(descriptor);
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = descriptor;
  attributes_.bInheritHandle = FALSE;
}

SECURITY_ATTRIBUTES* RegistrationPipeSecurity::Attributes() {
  return descriptor_ ? &attributes_ : nullptr;
}

}  // namespace zvu
