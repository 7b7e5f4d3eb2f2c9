#include "app/core/search_bar_logic.h"
