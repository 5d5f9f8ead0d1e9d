// The SIM-ready sequence's choices, read by the SMS and toolkit code.
#include <zvril.h>

extern "C" {
int g_stk_project = 2;
int g_sms_project = 0xffff;
}
