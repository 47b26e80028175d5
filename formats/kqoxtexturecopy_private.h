#ifndef QOX_FORMATS_KQOXTEXTURECOPY_PRIVATE_H
#define QOX_FORMATS_KQOXTEXTURECOPY_PRIVATE_H

#include <functional>
#include <string>

namespace qoxsdk_600 {

// For tests only: called with a copy's path once KTextureCopies has linked
// it at its name and before it looks for a name alike but for case (the
// first time only), so that a test can run another save, or put a file in
// the folder, at that moment; empty for none.
void SetTextureCopyOnLinkedForTests(std::function<void(const std::string&)> onLinked);

} // namespace qoxsdk_600

#endif
