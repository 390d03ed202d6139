#include "simconnectplatform.h"

namespace simconnect {

Platform &currentPlatform()
{
    static Platform p = systemPlatform();
    return p;
}

void setPlatform(const Platform &p)
{
    currentPlatform() = p;
}

} // namespace simconnect
