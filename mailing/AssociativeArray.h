#pragma once
// The recipient record lives with the recipient lists.
#include "recipients/AssociativeArray.h"
