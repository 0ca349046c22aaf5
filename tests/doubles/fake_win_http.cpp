#include "doubles/fake_win_http.h"
