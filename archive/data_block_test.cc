#include "archive/data_block.h"

#include <gtest/gtest.h>
