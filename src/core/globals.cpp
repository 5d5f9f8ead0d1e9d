// Definitions of the exported shared words, with their initial values.
#include <zvril.h>

extern "C" {
const struct RIL_Env *s_rilenv = nullptr;
int sState = RADIO_STATE_UNAVAILABLE;
int s_closed = 0;
pthread_mutex_t s_state_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t s_state_cond = PTHREAD_COND_INITIALIZER;
int ANDROID_VERSION = 6;
int PLATFORM_GENERATION = ZV_GENERATION_SOCKET;
char Android_version[1024] = "";
const char *s_device_path = "/dev/ttyUSB2";
int s_port = -1;
int s_device_socket = 0;
const char *s_modem_path = nullptr;
int del_sms_control[2] = {-1, -1};
pthread_mutex_t s_zvril_readsms_mutex = PTHREAD_MUTEX_INITIALIZER;

int g_module_type = 1;
int g_cdma_subtype = 0xffff;
int g_provider = -1;
int zv_ndis_or_modem = 2;
int zv_arp_support = 1;
char SERIAL_PORT_MODEM_KEYNAME[60] = "";
char SERIAL_PORT_PCUI_KEYNAME[60] = "";
char SERIAL_PORT_DIAG_KEYNAME[60] = "";
char PORT_ECM_KEYNAME[60] = "";
int bCRSM = 1;
int bSPN = 1;
int bims_cdmamsg = 0;

pthread_mutex_t s_cmd_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t s_cmd_cond = PTHREAD_COND_INITIALIZER;
int g_csd = 0;
int g_pspackage = 0;
}
