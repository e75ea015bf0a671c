// The two data files that ship beside the executable.
#include <gtest/gtest.h>

#include <string>

#include "config/CPMultiLang.h"
#include "config/VexoConfigOnXML.h"
#include "config/VexoXmlDoc.h"

using VexoSource::VexoWString;
using VexoSource::VexoXmlDoc;

namespace {

const std::string kDataFolder = std::string(QLN_TEST_DATA) + "/../../Data/";

// Every key the program looks up, spelled exactly as the windows ask for it.
const char* const kKeys[] = {
    "Service_RPC_Not_Created", "Application_Is_Running", "Firmware_not_supported", "Device_Undetected",
    "QlnCfg", "Apply", "Cancel", "Done", "Setting", "Mode", "Callibration", "Advanced_Setting",
    "Manu_Setting", "Product_Info", "Current_Device", "Product_Type", "Touches", "LCD_Type",
    "Chip_Version", "Device_Status", "Service_Status", "MultiTouch", "Mouse", "Update",
    "Device_Destription", "Device_Inserted", "Version_Lower_Than_2_0", "Inches", "Running",
    "Hardware_Mode", "Run_Update", "Update_Not_Started", "Device_was_resetting", "Advanced_Setting_Not_Read", "LC_Present",
    "Callibration_Initialization_Failed", "Reset_Configuration", "Effections", "Right_Click_Simulation",
    "Pen_Simulation", "Double_Click_Speed", "Right_Double_Click_Range", "Right_Click_Duration",
    "Smooth_Effection", "Short", "Fast", "Slow", "Small", "Big", "Long", "Worse", "Better",
    "Apply_Callibration", "Settings_Write_Failed", "Calibration_Touch_Target", "Calibration_Escape_Cancels",
    "Calibration_Too_Close", "Calibration_Wrong_Shape", "Calibration_One_Finger", "Calibration_Stream_Lost",
    "Calibration_Stream_Unreachable", "Calibration_Abandoned", "Calibration_Restored",
    "Calibration_Check_Touch", "Calibration_Check_Distance", "Calibration_Check_Wrong", "Calibration_Touch_Again",
    "Calibration_Ends_By_Itself", "Calibration_Screen", "Keeping_In",
    "Calibration_Restoring", "Calibration_Not_Restored",
};

}  // namespace

TEST(DataFiles, LanguageFileHasEveryKeyInBothLanguages) {
    constexpr int32_t kKeyCount = int32_t(sizeof(kKeys) / sizeof(kKeys[0]));
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(kDataFolder + "MultiLang.xml")) << doc.Document().ErrorDesc();
    const VexoWString missing(u"\x1F<missing>");
    for (const char* section : {"EN", "CN"}) {
        EXPECT_EQ(doc.Count(std::string("Lang:") + section), 1);
        int32_t entries = 0;
        for (TiXmlElement* e = TiXmlHandle(&doc.Document()).FirstChildElement("Lang").FirstChildElement(section)
                                   .FirstChildElement().ToElement();
             e; e = e->NextSiblingElement())
            ++entries;
        EXPECT_EQ(entries, kKeyCount) << section;  // nothing beyond the list, no duplicates
        for (const char* key : kKeys) {
            std::u16string text = doc.ReadText(std::string("Lang:") + section + ":" + key, missing).str;
            EXPECT_NE(text, missing.str) << section << ":" << key;
            EXPECT_FALSE(text.empty()) << section << ":" << key;
            // Captions get " :" from the program.
            EXPECT_NE(text.back(), u':') << section << ":" << key;
            EXPECT_NE(text.back(), u'\uFF1A') << section << ":" << key;
            EXPECT_EQ(doc.Count(std::string("Lang:") + section + ":" + key), 1) << section << ":" << key;
        }
    }
    // Chinese texts really are Chinese, not copies of the English ones.
    EXPECT_EQ(doc.ReadText("Lang:CN:Done", missing).str, u"\u786E\u5B9A");
    EXPECT_NE(doc.ReadText("Lang:CN:Service_Status", missing).str, doc.ReadText("Lang:EN:Service_Status", missing).str);
}

TEST(DataFiles, ConfigurationFileNamesVersionAndLanguage) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(kDataFolder + "Configuration.xml"));
    EXPECT_EQ(doc.ReadText("Configuration:Version", VexoWString(u"")).str, u"2.0.0.0");
    EXPECT_EQ(doc.ReadText("Configuration:Language", VexoWString(u"")).str, u"English");
}
