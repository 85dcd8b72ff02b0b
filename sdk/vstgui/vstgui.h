// The widget library in one include: views, controls, the frame and the timer.
#pragma once

#include "vstgui/ccontrols.h"
#include "vstgui/cframe.h"
#include "vstgui/cgraphics.h"
#include "vstgui/cview.h"
#include "vstgui/cvstguitimer.h"
#include "vstgui/vstguibase.h"
