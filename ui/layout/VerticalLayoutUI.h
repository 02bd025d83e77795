// CVerticalLayoutUI, the box layout along the vertical axis (declared with
// CHorizontalLayoutUI, which shares all of its code).
#pragma once

#include "ui/layout/BoxLayoutUI.h"
