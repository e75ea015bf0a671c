#include "app/AppState.h"

uint32_t g_ConfigVersion = 0;
uint32_t g_RequiredConfigVersion = 0;
std::string g_ProductSeries = "Infrared";
std::string g_CurrentDeviceId;
int32_t g_FirstRefresh = 1;
