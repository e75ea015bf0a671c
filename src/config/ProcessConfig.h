// The process-wide configuration store and language table.
#pragma once

#include "config/CPMultiLang.h"
#include "config/VexoConfigOnXML.h"

// Created at start-up and deleted at shutdown by the application (deleting it saves the file);
// nullptr outside that span. GUI thread only.
extern VexoSource::VexoConfgBase* g_pConfig;

// The one language table, on "Data/MultiLang.xml" relative to the working directory.
extern CPMultiLang g_MultiLang;
