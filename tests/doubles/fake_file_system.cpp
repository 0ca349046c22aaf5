#include "doubles/fake_file_system.h"
