// Which control of which dialog template shows the text of which key.
// Control 0 is the dialog window itself (its caption). Dialogs are listed in
// registration order; those without rows still get an (empty) entry.
#include "app/locale/locale_dialog_texts.h"

#include <cstddef>

namespace {

const LocaleDialogTextRow kDialog342[] = {
    {0, "LightAndColourTitle"},
    {1533, "LightAndColourLightLabel"},
    {1534, "LightAndColourSpotlightLevel"},
    {1535, "LightAndColourSpotlightPos"},
    {1536, "LightAndColourAmbientLightLevel"},
    {1537, "LightandColourColourLabel"},
    {4, "LightandColourSurfaceColour"},
    {6, "LightAndColourBackgroundColour"},
    {5, "LightAndColourProfileColour"},
    {1040, "StandardDialogDefaults"},
    {2, "StandardDialogCancel"},
    {3, "StandardDialogApply"},
    {1, "StandardDialogOK"},
    {1494, "LightAndColourSpecularHighlights"},
    {1495, "LightAndColourSmoothShading"},
    {1496, "LightAndColourGradedBackground"},
};

const LocaleDialogTextRow kDialog341[] = {
    {1054, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog305[] = {
    {1051, "FileOpenLoadViewingAngle"},
};

const LocaleDialogTextRow kDialog319[] = {
    {1550, "FileExportCoordinateSystem"},
    {1063, "FileExportRelToScreenView"},
    {1061, "FileExportRelToTracker"},
    {1064, "FileExportRelToBounbdingBox"},
    {1070, "FileExportSurfaceType"},
    {1072, "FileExportPointCloud"},
    {1071, "FileExportTriangleMesh"},
    {1253, "FileExportSeparateSweeps"},
    {1069, "FileExportFormat"},
    {1060, "FileExportBinary"},
    {1062, "FileExportText"},
    {1065, "FileExportLineEndWindows"},
    {1066, "FileExportLineEndUnix"},
    {1067, "FileExportLineEndMac"},
    {1112, "FileExportMoreOptions"},
};

const LocaleDialogTextRow kDialog325[] = {
    {0, "ScanLimTitle"},
    {1551, "ScanLimMaxRange"},
    {1552, "ScanLimMaxAngle"},
    {1553, "ScanLimBestRes"},
    {1554, "ScanLimWorstRes"},
    {1555, "ScanLimProfileSmoothing"},
    {3, "StandardDialogDefaults"},
    {2, "StandardDialogCancel"},
    {1, "StandardDialogOK"},
};

const LocaleDialogTextRow kDialog313[] = {
    {0, "StlOptionsTitle"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
    {1120, "StlOptionsSwapByteOrder"},
};

const LocaleDialogTextRow kDialog312[] = {
    {0, "IgesOptionsTitle"},
    {1115, "IgesOptionsNurbs128"},
    {1556, "IgesOptionsMeshType"},
    {1116, "IgesOptionsCopious106"},
    {1054, "IgesOptionsWithNormals"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog317[] = {
    {0, "WavefrontOptionsTitle"},
    {1054, "WavefrontOptionsNormals"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
    {1055, "WavefrontOptionsGreyscale"},
    {1529, "WavefrontOptionsTextureMap"},
    {1530, "WavefrontOptionsPerFacet"},
    {1531, "WavefrontOptionsGroupFacets"},
    {1532, "WavefrontOptionsColouringType"},
};

const LocaleDialogTextRow kDialog314[] = {
    {0, "MatlabOptionsTitle"},
    {1054, "MatlabOptionsNormals"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
    {1055, "MatlabOptionsGreyscale"},
};

const LocaleDialogTextRow kDialog316[] = {
    {0, "DxfOptionsTitle"},
    {1557, "DxfOptionsMeshType"},
    {1113, "DxfOptions3DFaces"},
    {1114, "DxfOptionsPolylines"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog352[] = {
    {0, "AlignmentCheckTitle"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog345[] = {
    {0, "ScannerPropTitle"},
    {1538, "ScannerPropPortDriverGroupLabel"},
    {1089, "ScannerPropDriverEnabledLabel"},
    {1541, "ScannerPropDriverStatusLabel"},
    {1542, "ScannerPropScannerGroup"},
    {1543, "ScannerPropCalFileLabel"},
    {1544, "ScannerPropHwVerLabel"},
    {1545, "ScannerPropProcessingUnitLabel"},
    {1546, "ScannerPropDataLabel"},
    {1547, "ScannerPropTrackerLabel"},
    {1548, "ScannerPropCPULoadLabel"},
    {1549, "ScannerPropExplainGroup"},
    {1134, "ScannerPropDevManButtonLabel"},
    {1053, "StandardDialogClose"},
    {1572, "ScannerPropQuadrelFreqLabel"},
};

const LocaleDialogTextRow kDialog308[] = {
    {0, "SelvaneAboutTitle"},
    {1, "StandardDialogOK"},
    {1255, "SelvaneAboutVersion"},
};

const LocaleDialogTextRow kDialog363[] = {
    {1273, "SweepStylusSelectAll"},
    {1274, "SweepStylusSelectNone"},
    {1275, "SweepStylusSelectInvert"},
    {1286, "StylusListMoveToSurface"},
    {1304, "SweepListTransparent"},
    {1346, "SweepListFlip"},
    {1622, "StandardMillimetresAbbreviation"},
};

const LocaleDialogTextRow kDialog322[] = {
    {6, "StandardDialogSave"},
    {2, "StandardDialogCancel"},
    {7, "StandardDialogDontSave"},
};

const LocaleDialogTextRow kDialog350[] = {
    {1574, "FileExportStylusCoordinateSystem"},
    {1063, "FileExportStylusRelToScreenView"},
    {1061, "FileExportStylusRelToTracker"},
    {1064, "FileExportStylusRelToBounbdingBox"},
    {1070, "FileExportStylusDataType"},
    {1295, "FileExportStylusPointsOnly"},
    {1296, "FileExportStylusPointsNormals"},
    {1297, "FileExportStylusPointsEulers"},
    {1298, "FileExportStylusMatrix"},
    {1069, "FileExportStylusFormat"},
    {1060, "FileExportStylusBinary"},
    {1062, "FileExportStylusText"},
    {1065, "FileExportStylusLineEndWindows"},
    {1066, "FileExportStylusLineEndUnix"},
    {1067, "FileExportStylusLineEndMac"},
    {1112, "FileExportStylusMoreOptions"},
};

const LocaleDialogTextRow kDialog362[] = {
    {0, "StylusPropertiesTitle"},
    {1314, "StylusPropertiesPointMode"},
    {1315, "StylusPropertiesLineMode"},
    {1317, "StylusPropertiesLineSegmentSize"},
    {1575, "StylusPropertiesPointStyle"},
    {1576, "StylusPropertiesLineStyle"},
    {8, "StandardDialogClose"},
    {1464, "StylusPropertiesDefaultIsOnSurface"},
};

const LocaleDialogTextRow kDialog351[] = {
    {0, "DxfLargeTitle"},
    {1280, "DxfLargeMessage"},
    {1354, "DxfLargeDontAsk"},
    {1356, "DxfLargeSavePolyline"},
    {1355, "DxfLargeSave3DFace"},
    {2, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog354[] = {
    {0, "CalibrationCorrectionInfoTitle"},
    {3, "CalibrationCorrectionInfoApply"},
    {1366, "CalibrationCorrectionInfoDiscard"},
    {1577, "CalibrationCorrectionInfoPreviousRms"},
    {1578, "CalibrationCorrectionInfoNewRms"},
    {1579, "StandardMillimetresAbbreviation"},
    {1580, "StandardMillimetresAbbreviation"},
};

const LocaleDialogTextRow kDialog307[] = {
    {0, "AboutTitle"},
    {1, "StandardDialogOK"},
    {1581, "AboutTelephoneLabel"},
    {1582, "AboutFaxLabel"},
    {1583, "AboutURLLabel"},
    {1584, "AboutCopyright"},
    {1255, "AboutVersionLabel"},
    {1585, "AboutCommandLabel"},
    {1586, "AboutSettingsLocLabel"},
    {1587, "AboutDistributorLabel"},
};

const LocaleDialogTextRow kDialog318[] = {
    {0, "CastInversionSettingsTitle"},
    {1406, "CastInversionSettingsCutWidth"},
    {1408, "StandardMillimetresAbbreviation"},
    {1407, "CastInversionSettingsTrimWithin"},
    {1409, "StandardMillimetresAbbreviation"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
    {1347, "CastInversionSettingsSymmetric"},
    {1348, "CastInversionSettingsAsymmetric"},
};

const LocaleDialogTextRow kDialog358[] = {
    {0, "ExtentsTitle"},
    {1619, "ExtentsX"},
    {1620, "ExtentsZ"},
    {1621, "ExtentsY"},
    {1588, "ExtentsBoundingBox"},
};

const LocaleDialogTextRow kDialog340[] = {
    {0, "RefractionCorrectionTitle"},
    {1589, "RefractionCorrectionGlassThickness"},
    {1590, "StandardMillimetresAbbreviation"},
    {1591, "RefractionCorrectionIndex"},
    {1592, "RefractionCorrectionRefLoc"},
    {1348, "RefractionCorrectionRefFarSide"},
    {1347, "RefractionCorrectionRefNearSide"},
    {1593, "RefractionCorrectionGlassOffset"},
    {1462, "RefractionCorrectionSmallOffset"},
    {1463, "RefractionCorrectionStandardOffset"},
    {1349, "RefractionCorrectionCustomOffset"},
    {1594, "StandardMillimetresAbbreviation"},
    {3, "StandardDialogDo"},
    {4, "StandardDialogUndo"},
    {2, "StandardDialogClose"},
    {1595, "RefractionCorrectionGlassProperties"},
    {1596, "RefractionCorrectionGlassReference"},
    {1501, "RefractionCorrectionUseTxAsRef"},
    {1502, "RefractionCorrectionUseRxAsRef"},
};

const LocaleDialogTextRow kDialog306[] = {
    {1304, "FileSaveDoBasic"},
    {1305, "FileSaveDoRbf"},
};

const LocaleDialogTextRow kDialog321[] = {
    {0, "GenerateSurfaceTitle"},
    {1597, "GenerateSurfaceBasicGroup"},
    {1419, "GenerateSurfaceSmoothing"},
    {1439, "GenerateSurfaceDecimation"},
    {1434, "GenerateSurfaceObjectLimit"},
    {1043, "GenerateSurfaceBasicSimplification"},
    {1598, "GenerateSurfaceRbfGroup"},
    {1442, "GenerateSurfaceRbfAccuracy"},
    {1443, "GenerateSurfaceRbfResolution"},
    {1466, "GenerateSurfaceRbfUseStylusPoints"},
    {1446, "GenerateSurfaceRbfMemoryLimit"},
    {1478, "GenerateSurfaceRbfMemoryAuto"},
    {1599, "GenerateSurfaceEdgeGroup"},
    {1444, "GenerateSurfaceEdgeMargin"},
    {1461, "GenerateSurfaceRequiresBasic"},
    {1600, "GenerateSurfaceStatisticsGroup"},
    {1601, "StandardSweeps"},
    {1602, "StandardBasicSurface"},
    {1603, "StandardRbfSurface"},
    {1428, "GenerateSurfaceSimplificationGroup"},
    {1445, "GenerateSurfaceSimplificationTarget"},
    {1435, "GenerateSurfaceSimplificationError"},
    {1436, "GenerateSurfaceSimplificationTriangles"},
    {1437, "GenerateSurfaceSimplificationPoints"},
    {1158, "GenerateSurfaceResetToDefaults"},
    {1484, "GenerateSurfaceHelp"},
    {1488, "GenerateSurfaceInvertAndAlign"},
};

const LocaleDialogTextRow kDialog346[] = {
    {0, "CalibrationCorrectionTitle"},
    {1604, "CalibrationCorrectionAttachTarget"},
    {1607, "CalibrationCorrectionMetalWarning"},
    {1606, "CalibrationCorrectionPassOneFinishedInstructions"},
    {1605, "CalibrationCorrectionFinishingInstructions"},
    {3, "CalibrationCorrectionComputeCorrection"},
    {1073, "CalibrationCorrectionResetCorrection"},
    {2, "CalibrationCorrectionClose"},
};

const LocaleDialogTextRow kDialog339[] = {
    {0, "FilePropTitle"},
    {2, "StandardDialogClose"},
};

const LocaleDialogTextRow kDialog335[] = {
    {0, "BumpOptionsTitle"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
    {1479, "BumpOptionsCreateDips"},
    {1480, "BumpOptionsBumpWidth"},
    {1481, "BumpOptionsBumpHeight"},
};

const LocaleDialogTextRow kDialog309[] = {
    {0, "ChangeReferenceTitle"},
    {2, "ChangeReferenceCancel"},
    {1482, "ChangeReferenceNewScan"},
    {1348, "ChangeReferenceRepairScan"},
    {1614, "ChangeReferenceNewScanInfo"},
    {1615, "ChangeReferenceRepairScanInfo"},
    {1616, "ChangeReferenceCancelScanInfo"},
};

const LocaleDialogTextRow kDialog303[] = {
    {2, "StandardDialogCancel"},
    {1417, "WandHemisphereSetupKeepData"},
};

const LocaleDialogTextRow kDialog405[] = {
    {0, "SweepRegFeedbackDialogTitle"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog419[] = {
    {0, "PlyOptionsTitle"},
    {1054, "PlyOptionsNormals"},
    {1, "StandardDialogOK"},
    {2, "StandardDialogCancel"},
    {1055, "PlyOptionsGreyscale"},
};

const LocaleDialogTextRow kDialog420[] = {
    {2, "StandardDialogCancel"},
};

const LocaleDialogTextRow kDialog426[] = {
    {1640, "FileSaveSnapshotPreviewImage"},
    {1641, "FileSaveSnapshotAutoNumber"},
    {1642, "FileSaveSnapshotAutoCropImage"},
    {1643, "FileSaveSnapshotAddInfoLabel"},
};

}  // namespace

#define LOCALE_ROWS(rows) rows, sizeof(rows) / sizeof(rows[0])

const LocaleDialogTextList kLocaleDialogTextLists[] = {
    {342, LOCALE_ROWS(kDialog342)},
    {355, nullptr, 0},
    {347, nullptr, 0},
    {348, nullptr, 0},
    {341, LOCALE_ROWS(kDialog341)},
    {305, LOCALE_ROWS(kDialog305)},
    {319, LOCALE_ROWS(kDialog319)},
    {325, LOCALE_ROWS(kDialog325)},
    {336, nullptr, 0},
    {344, nullptr, 0},
    {313, LOCALE_ROWS(kDialog313)},
    {312, LOCALE_ROWS(kDialog312)},
    {317, LOCALE_ROWS(kDialog317)},
    {314, LOCALE_ROWS(kDialog314)},
    {316, LOCALE_ROWS(kDialog316)},
    {352, LOCALE_ROWS(kDialog352)},
    {345, LOCALE_ROWS(kDialog345)},
    {365, nullptr, 0},
    {349, nullptr, 0},
    {308, LOCALE_ROWS(kDialog308)},
    {320, nullptr, 0},
    {363, LOCALE_ROWS(kDialog363)},
    {322, LOCALE_ROWS(kDialog322)},
    {350, LOCALE_ROWS(kDialog350)},
    {362, LOCALE_ROWS(kDialog362)},
    {337, nullptr, 0},
    {356, nullptr, 0},
    {370, nullptr, 0},
    {373, nullptr, 0},
    {369, nullptr, 0},
    {334, nullptr, 0},
    {353, nullptr, 0},
    {351, LOCALE_ROWS(kDialog351)},
    {315, nullptr, 0},
    {354, LOCALE_ROWS(kDialog354)},
    {310, nullptr, 0},
    {361, nullptr, 0},
    {372, nullptr, 0},
    {371, nullptr, 0},
    {366, nullptr, 0},
    {364, nullptr, 0},
    {368, nullptr, 0},
    {367, nullptr, 0},
    {307, LOCALE_ROWS(kDialog307)},
    {318, LOCALE_ROWS(kDialog318)},
    {358, LOCALE_ROWS(kDialog358)},
    {340, LOCALE_ROWS(kDialog340)},
    {357, nullptr, 0},
    {343, nullptr, 0},
    {306, LOCALE_ROWS(kDialog306)},
    {321, LOCALE_ROWS(kDialog321)},
    {346, LOCALE_ROWS(kDialog346)},
    {338, nullptr, 0},
    {339, LOCALE_ROWS(kDialog339)},
    {335, LOCALE_ROWS(kDialog335)},
    {309, LOCALE_ROWS(kDialog309)},
    {360, nullptr, 0},
    {359, nullptr, 0},
    {303, LOCALE_ROWS(kDialog303)},
    {405, LOCALE_ROWS(kDialog405)},
    {406, nullptr, 0},
    {418, nullptr, 0},
    {419, LOCALE_ROWS(kDialog419)},
    {420, LOCALE_ROWS(kDialog420)},
    {423, nullptr, 0},
    {425, nullptr, 0},
    {426, LOCALE_ROWS(kDialog426)},
};

#undef LOCALE_ROWS

const std::size_t kLocaleDialogTextListCount =
    sizeof(kLocaleDialogTextLists) / sizeof(kLocaleDialogTextLists[0]);
