// The transfer engine's failure codes live with the other stable numbers;
// this header stays so that the engine's files name what they use.
#pragma once
#include "core/stable_numbers.h"
