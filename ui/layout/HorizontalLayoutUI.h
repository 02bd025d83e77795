// CHorizontalLayoutUI, the box layout along the horizontal axis (declared
// with CVerticalLayoutUI, which shares all of its code).
#pragma once

#include "ui/layout/BoxLayoutUI.h"
