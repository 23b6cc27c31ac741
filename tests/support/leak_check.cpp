#include "leak_check.h"

#include "com/com_object.h"
#include "com/live_strings.h"

LeakCheck::LeakCheck() : strings_(LiveBstrCount()), objects_(ComModuleLockCount()) {}

void LeakCheck::ExpectNoLeaks() const {
    EXPECT_EQ(LiveBstrCount(), strings_) << "BSTRs leaked";
    EXPECT_EQ(ComModuleLockCount(), objects_) << "COM objects leaked";
}
