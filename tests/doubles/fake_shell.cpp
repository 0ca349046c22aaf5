#include "doubles/fake_shell.h"
