#include "bvhstate.h"

CBvhState &bvhState()
{
    // Function-local, so it is built on first use whatever the order of the
    // library's other statics, and destroyed when the library unloads.
    static CBvhState state;
    return state;
}
