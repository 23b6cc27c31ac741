#include "comtrade_test_support.h"
