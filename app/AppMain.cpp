// The program's entry point: the toolkit's application start with AppApplication.
#include "app/AppApplication.h"

START_JUCE_APPLICATION(AppApplication)
