#include "config/ProcessConfig.h"

VexoSource::VexoConfgBase* g_pConfig = nullptr;
CPMultiLang g_MultiLang("Data/MultiLang.xml");
