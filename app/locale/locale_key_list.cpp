// The string keys that the program fetches: its code, its menus and its
// dialog table. The loader reports every one of them that a locale lacks.
// Kept in byte order (upper case before lower case), grouped by first word.
// Some names carry old spellings ("Bounbding", "Reight", "Unavialable"):
// they are keys of the locale files and must stay as they are.
#include "app/locale/locale_keys.h"

const char* const kLocaleDeclaredKeys[] = {
    // About
    "AboutBuildDate", "AboutCommandLabel", "AboutCopyright", "AboutDistributorLabel",
    "AboutFaxLabel", "AboutRegistryLocation", "AboutSettingsLocLabel", "AboutTelephoneLabel",
    "AboutTitle", "AboutURLLabel", "AboutVersionLabel",

    // Alignment
    "AlignmentCheckInstructions", "AlignmentCheckInsufficientData", "AlignmentCheckKeepGoing",
    "AlignmentCheckNoProfiles", "AlignmentCheckResult", "AlignmentCheckTitle",
    "AlignmentCheckWandToFar",

    // Basic
    "BasicSurfCreateTitle",

    // Bump
    "BumpOptionsBumpHeight", "BumpOptionsBumpWidth", "BumpOptionsCreateDips",
    "BumpOptionsTitle",

    // Cal
    "CalCheckBeginStatusMsg", "CalCheckCalFileNotUpdatedStatusMsg",
    "CalCheckCalFileResetStatusMsg", "CalCheckCalFileUpdatedStatusMsg",
    "CalCheckComputeCorrectionStatusMsg", "CalCheckComputingCorrectionStatusMsg",
    "CalCheckNextStatusMsg", "CalCheckNotEnoughStatusMsg", "CalCheckTooFastStatusMsg",
    "CalCheckTooManyStatusMsg",

    // Calibration
    "CalibrationCorrectionAttachTarget", "CalibrationCorrectionClose",
    "CalibrationCorrectionComputeCorrection", "CalibrationCorrectionFinishingInstructions",
    "CalibrationCorrectionInfoApply", "CalibrationCorrectionInfoDiscard",
    "CalibrationCorrectionInfoNewRms", "CalibrationCorrectionInfoPreviousRms",
    "CalibrationCorrectionInfoTitle", "CalibrationCorrectionMetalWarning",
    "CalibrationCorrectionPassOneFinishedInstructions",
    "CalibrationCorrectionPassOneInstructions", "CalibrationCorrectionPassTwoInstructions",
    "CalibrationCorrectionResetCorrection", "CalibrationCorrectionTitle",

    // Cast
    "CastInvAlignFailMsg", "CastInvBadMeshMsg", "CastInvMarkerAccuracyQuestion",
    "CastInvMarkerAlignmentMsgTitle", "CastInvMarkerOffMesh", "CastInvMarkerParityFailMsg",
    "CastInvMarkerTooFarMsg", "CastInvMirrorMsg", "CastInvNoMarkerPairsMsg",
    "CastInvNotEnoughMarkerPairsMsg", "CastInvOkMsg", "CastInvTooManyMarkersMsg", "CastInvWaitCursorMsg",
    "CastInversionSettingsAsymmetric", "CastInversionSettingsCutWidth",
    "CastInversionSettingsSymmetric", "CastInversionSettingsTitle",
    "CastInversionSettingsTrimWithin",

    // Change
    "ChangeReferenceAccuracyMessage", "ChangeReferenceAccuracyTitle", "ChangeReferenceCancel",
    "ChangeReferenceCancelScanInfo", "ChangeReferenceInsufficientDataMessage",
    "ChangeReferenceInsufficientDataTitle", "ChangeReferenceNewScan",
    "ChangeReferenceNewScanInfo", "ChangeReferenceReceiverUnavialable",
    "ChangeReferenceRepairScan", "ChangeReferenceRepairScanInfo", "ChangeReferenceTitle",

    // Dxf
    "DxfLargeDontAsk", "DxfLargeMessage", "DxfLargeSave3DFace", "DxfLargeSavePolyline",
    "DxfLargeTitle", "DxfOptions3DFaces", "DxfOptionsMeshType", "DxfOptionsPolylines",
    "DxfOptionsTitle",

    // Error
    "ErrorAaopRbfSurfaceRequired", "ErrorBasicSurfReductionBadFacets",
    "ErrorBasicSurfRequiresPointData", "ErrorCalFileBlank", "ErrorCalFileInvalid",
    "ErrorCalFileOpen", "ErrorCalFileRead", "ErrorCalFileUpdate", "ErrorCalFileWrong",
    "ErrorCouldNotLoadImage", "ErrorCouldNotWriteImage", "ErrorCrashHeader",
    "ErrorDeviceManNotFound", "ErrorDialogCreate", "ErrorDifferentWand",
    "ErrorEnteringStandby", "ErrorExport3DSFacesLimit", "ErrorExport3DSPointsLimit",
    "ErrorExportLightwavePointsLimit", "ErrorExportNoSurface", "ErrorFileBadVersion",
    "ErrorFileCorrupted", "ErrorFileCreate", "ErrorFileEncrypted", "ErrorFileNameRead",
    "ErrorFileNotFound", "ErrorFileNotKrv", "ErrorFileOpen", "ErrorFileRead",
    "ErrorFileTypeUnknown", "ErrorFileWrite", "ErrorFileWriteGeneric",
    "ErrorFileWriteGenericExt", "ErrorGraphicsInit", "ErrorHWReset", "ErrorHwBusy",
    "ErrorHwNotResponding", "ErrorHwNotSupported", "ErrorHwPortAcquistion",
    "ErrorHwPowerCycle", "ErrorHwRxUnplugged", "ErrorHwShutdown",
    "ErrorImageLoadingInvalidBitDepth", "ErrorImageLoadingInvalidColourType",
    "ErrorImageLoadingUnknown", "ErrorInsufficientUserPriviledges",
    "ErrorInterlacedHwRequired", "ErrorInvalidRefractionIndex", "ErrorManualFileNotFound",
    "ErrorNoSurfaceNearStylusPoint", "ErrorNoSweepsNearStylusPoint",
    "ErrorNonInterlacedHwRequired", "ErrorOpenGLBackFrontBufferingRequired",
    "ErrorOpenGLRequired", "ErrorOutOfMemory", "ErrorPellisLaunch", "ErrorProblemLoadImage",
    "ErrorProblemWriteImage", "ErrorReadEcpSettingsFailed", "ErrorScanTooFast",
    "ErrorSnapshotSave", "ErrorTVNCompressionFailed", "ErrorTVNLoadBadField",
    "ErrorTVNLoadMissingField", "ErrorTVNSaveBadField", "ErrorTVNSaveUnknown",
    "ErrorTempDirectoryNotFound", "ErrorThreadCreate", "ErrorUSBDriverInit",
    "ErrorUSBDriverNotInstalled", "ErrorUSBDriverWrongVersion", "ErrorUnexpected",
    "ErrorUpgradeApp", "ErrorUserSettingsSaveError", "ErrorVirtualAlloc",
    "ErrorWriteEcpSettingsFailed",

    // Export
    "ExportTypeVtk",

    // Extents
    "ExtentsBoundingBox", "ExtentsTitle", "ExtentsX", "ExtentsY", "ExtentsZ",

    // File
    "FileExportBinary", "FileExportCoordinateSystem", "FileExportFormat",
    "FileExportLineEndMac", "FileExportLineEndUnix", "FileExportLineEndWindows",
    "FileExportMoreOptions", "FileExportPointCloud", "FileExportRelToBounbdingBox",
    "FileExportRelToScreenView", "FileExportRelToTracker", "FileExportSeparateSweeps",
    "FileExportStylusAsciiFilter", "FileExportStylusBinary",
    "FileExportStylusCoordinateSystem", "FileExportStylusCsvFilter",
    "FileExportStylusDataType", "FileExportStylusFormat", "FileExportStylusLineEndMac",
    "FileExportStylusLineEndUnix", "FileExportStylusLineEndWindows", "FileExportStylusMatrix",
    "FileExportStylusMoreOptions", "FileExportStylusPointsEulers",
    "FileExportStylusPointsNormals", "FileExportStylusPointsOnly", "FileExportStylusQuestion",
    "FileExportStylusRelToBounbdingBox", "FileExportStylusRelToScreenView",
    "FileExportStylusRelToTracker", "FileExportStylusText", "FileExportStylusTitle",
    "FileExportSurfaceTitle", "FileExportSurfaceType", "FileExportSweepsTitle",
    "FileExportText", "FileExportTriangleMesh", "FileExportType3DS", "FileExportTypeAscii",
    "FileExportTypeAutocad", "FileExportTypeIges", "FileExportTypeInventor",
    "FileExportTypeLightwave", "FileExportTypeMatlab", "FileExportTypePly",
    "FileExportTypePolyworksScan", "FileExportTypeStl", "FileExportTypeVrml",
    "FileExportTypeWavefront", "FileOpenFilter", "FileOpenLoadViewingAngle", "FileOpenTitle",
    "FilePropCalCorrectHistory", "FilePropCalTweak", "FilePropCalTweakDate",
    "FilePropCombinedCalTweak", "FilePropConfigCreateTime", "FilePropCreateApp",
    "FilePropCreateInfo", "FilePropCreateTime", "FilePropEditAppAndPlatform",
    "FilePropEditNote", "FilePropEditTime", "FilePropEditUserInfo", "FilePropFirstProfile",
    "FilePropFormatVersion", "FilePropLastProfile", "FilePropName", "FilePropNewScan",
    "FilePropNoEditText", "FilePropNoProfile", "FilePropNumProfiles", "FilePropPlatform",
    "FilePropRxRef", "FilePropRxStatus", "FilePropRxStatusCode0", "FilePropRxStatusCode32",
    "FilePropScanAppEcpVersion", "FilePropTitle", "FilePropTxRef", "FilePropUserComment",
    "FilePropVPRev", "FilePropWandSerialNum", "FileSaveDoBasic", "FileSaveDoRbf",
    "FileSaveHideAdvancedLabel", "FileSaveKrvFilter", "FileSavePngFilter",
    "FileSaveShowAdvancedLabel", "FileSaveSnapshotAddInfoLabel",
    "FileSaveSnapshotAutoCropImage", "FileSaveSnapshotAutoNumber",
    "FileSaveSnapshotDefaultFilename", "FileSaveSnapshotPreviewImage", "FileSaveSnapshotTitle",
    "FileSaveTitle", "FileSaveTvnFilter",

    // Freeze
    "FreezeReceiverPage1Instructions", "FreezeReceiverPage1Title",
    "FreezeReceiverPage2Instructions", "FreezeReceiverPage2Title",

    // Generate
    "GenerateSurfaceApplyBasic", "GenerateSurfaceApplyBasicInfo",
    "GenerateSurfaceApplyBasicShort", "GenerateSurfaceApplyRbf", "GenerateSurfaceApplyRbfInfo",
    "GenerateSurfaceBasicGroup", "GenerateSurfaceBasicSimplification",
    "GenerateSurfaceCloseInfo", "GenerateSurfaceDecimation", "GenerateSurfaceDecimationInfo",
    "GenerateSurfaceDefaultsInfo", "GenerateSurfaceEdgeGroup", "GenerateSurfaceEdgeMargin",
    "GenerateSurfaceEdgesClosed", "GenerateSurfaceEdgesOpen", "GenerateSurfaceEdgesTrimToData",
    "GenerateSurfaceEdgesTrimToEdges", "GenerateSurfaceHelp", "GenerateSurfaceInvertAndAlign",
    "GenerateSurfaceInvertAndAlignInfo", "GenerateSurfaceObjectLimit",
    "GenerateSurfaceObjectLimitInfo", "GenerateSurfaceRbfAccuracy",
    "GenerateSurfaceRbfAccuracyInfo", "GenerateSurfaceRbfGroup",
    "GenerateSurfaceRbfMarginInfo", "GenerateSurfaceRbfMemoryAuto",
    "GenerateSurfaceRbfMemoryInfo", "GenerateSurfaceRbfMemoryLimit",
    "GenerateSurfaceRbfResolution", "GenerateSurfaceRbfResolutionInfo",
    "GenerateSurfaceRbfSimplifyErrorInfo", "GenerateSurfaceRbfSimplifyInfo",
    "GenerateSurfaceRbfSimplifyNFacesInfo", "GenerateSurfaceRbfSimplifyNPointsInfo",
    "GenerateSurfaceRbfTrimTypeInfo", "GenerateSurfaceRbfUseStylusPoints",
    "GenerateSurfaceRbfWithStylusInfo", "GenerateSurfaceRequiresBasic",
    "GenerateSurfaceResetToDefaults", "GenerateSurfaceSimplificationError",
    "GenerateSurfaceSimplificationGroup", "GenerateSurfaceSimplificationPoints",
    "GenerateSurfaceSimplificationTarget", "GenerateSurfaceSimplificationTriangles",
    "GenerateSurfaceSimplifyErrorInfo", "GenerateSurfaceSmoothing",
    "GenerateSurfaceSmoothingInfo", "GenerateSurfaceStatisticsArea",
    "GenerateSurfaceStatisticsGroup", "GenerateSurfaceStatisticsPoints",
    "GenerateSurfaceStatisticsTriangles", "GenerateSurfaceTitle",

    // H
    "HWStateDisabled", "HWStateInit", "HWStateOff", "HWStateOn",

    // Hw
    "HwStatusBufferOverRunHelp", "HwStatusCalFileNotLoadedHelp", "HwStatusDisabled",
    "HwStatusDisabledHelp", "HwStatusDriverNotInstalled", "HwStatusDriverNotInstalledHelp",
    "HwStatusError", "HwStatusIOError", "HwStatusIOErrorHelp", "HwStatusInit",
    "HwStatusInitHelp", "HwStatusInitTrackingHelp", "HwStatusLocked", "HwStatusLockedHelp",
    "HwStatusNoHelp", "HwStatusOffLine", "HwStatusOffLineHelp", "HwStatusOk", "HwStatusOkHelp",
    "HwStatusTrackerError", "HwStatusTrackerErrorHelp", "HwStatusTrackerOK",
    "HwStatusUSBStarting", "HwStatusUSBStartingHelp", "HwUSBDriverInfo",
    "HwUSBDriverSearching",

    // Iges
    "IgesOptionsCopious106", "IgesOptionsMeshType", "IgesOptionsNurbs128", "IgesOptionsTitle",
    "IgesOptionsWithNormals",

    // Light
    "LightAndColourAmbientLightLevel", "LightAndColourBackgroundColour",
    "LightAndColourGradedBackground", "LightAndColourLightLabel",
    "LightAndColourProfileColour", "LightAndColourSmoothShading",
    "LightAndColourSpecularHighlights", "LightAndColourSpotlightLevel",
    "LightAndColourSpotlightPos", "LightAndColourTitle",

    // Lightand
    "LightandColourColourLabel", "LightandColourSurfaceColour",

    // Main
    "MainToolbarBasic", "MainToolbarBoundingBox", "MainToolbarCameraView", "MainToolbarDelete",
    "MainToolbarExportAs", "MainToolbarGenerateSurface", "MainToolbarHelp",
    "MainToolbarLaserPointerMode", "MainToolbarMarkWithMouse", "MainToolbarNew",
    "MainToolbarOpen", "MainToolbarOutlinedView", "MainToolbarPointsView",
    "MainToolbarProperties", "MainToolbarRbf", "MainToolbarRedoSweep", "MainToolbarReset",
    "MainToolbarRxRef", "MainToolbarSaveAs", "MainToolbarSelectionMode",
    "MainToolbarSolidView", "MainToolbarStylusList", "MainToolbarSweepList",
    "MainToolbarSweeps", "MainToolbarTransferToPellis", "MainToolbarTxRef",
    "MainToolbarUndoSweep", "MainToolbarWireframeView",

    // Matlab
    "MatlabOptionsGreyscale", "MatlabOptionsNormals", "MatlabOptionsTitle",

    // Menu
    "MenuEdit", "MenuEditCastInversionMode", "MenuEditClipping", "MenuEditClippingInfo",
    "MenuEditCombineFeet", "MenuEditCombineFeetInfo", "MenuEditDelete", "MenuEditDeleteInfo",
    "MenuEditGenerateSurface", "MenuEditGenerateSurfaceInfo", "MenuEditInfo", "MenuEditRedo",
    "MenuEditRedoInfo", "MenuEditRefractionCorrection", "MenuEditRefractionCorrectionInfo",
    "MenuEditRegisterSweeps", "MenuEditRegisterSweepsInfo", "MenuEditSelect",
    "MenuEditSelectInfo", "MenuEditStylusMarkBumps", "MenuEditStylusMarkBumpsInfo",
    "MenuEditStylusMarksList", "MenuEditStylusMarksListInfo", "MenuEditSweepsList",
    "MenuEditSweepsListInfo", "MenuEditUndo", "MenuEditUndoInfo", "MenuEditUnregisterSweeps",
    "MenuEditUnregisterSweepsInfo", "MenuFile", "MenuFileExit", "MenuFileExitInfo",
    "MenuFileExportAs", "MenuFileExportAsAaop", "MenuFileExportAsAaopInfo",
    "MenuFileExportAsBasic", "MenuFileExportAsBasicInfo", "MenuFileExportAsBatch",
    "MenuFileExportAsBatchInfo", "MenuFileExportAsInfo", "MenuFileExportAsRbf",
    "MenuFileExportAsRbfInfo", "MenuFileExportAsStylus", "MenuFileExportAsStylusInfo",
    "MenuFileExportAsSweeps", "MenuFileExportAsSweepsInfo", "MenuFileInfo", "MenuFileNew",
    "MenuFileNewInfo", "MenuFileOpen", "MenuFileOpenInfo", "MenuFileProperties",
    "MenuFilePropertiesInfo", "MenuFileSaveAs", "MenuFileSaveAsInfo", "MenuFileSaveSnapshot",
    "MenuFileTransferTo", "MenuFileTransferToInfo", "MenuFileTransferToPellis",
    "MenuFileTransferToPellisInfo", "MenuHelp", "MenuHelpAbout", "MenuHelpAboutInfo",
    "MenuHelpAboutSelvaneExtensions", "MenuHelpAboutSelvaneExtensionsInfo", "MenuHelpInfo",
    "MenuHelpManual", "MenuHelpManualInfo", "MenuHelpSelvaneExtensionsManual",
    "MenuHelpSelvaneExtensionsManualInfo", "MenuHelpSoftwareReference",
    "MenuHelpSoftwareReferenceInfo", "MenuHelpSoftwareUpdates", "MenuHelpSoftwareUpdatesInfo",
    "MenuHelpStylusManual", "MenuHelpStylusManualInfo", "MenuScanner",
    "MenuScannerAlignmentCheck", "MenuScannerAlignmentCheckInfo",
    "MenuScannerAutomaticViewPoint", "MenuScannerAutomaticViewPointInfo",
    "MenuScannerCalibrationCorrection", "MenuScannerCalibrationCorrectionInfo",
    "MenuScannerFreezeReceiver", "MenuScannerFreezeReceiverInfo", "MenuScannerInfo",
    "MenuScannerLimitsControl", "MenuScannerLimitsControlInfo", "MenuScannerMoveReference",
    "MenuScannerMoveReferenceInfo", "MenuScannerProperties", "MenuScannerPropertiesInfo",
    "MenuScannerRedoSweep", "MenuScannerRedoSweepInfo", "MenuScannerResetScanner",
    "MenuScannerResetScannerInfo", "MenuScannerRxIsRef", "MenuScannerRxIsRefInfo",
    "MenuScannerTxIsRef", "MenuScannerTxIsRefInfo", "MenuScannerUndoSweep",
    "MenuScannerUndoSweepInfo", "MenuSettings", "MenuSettingsDisplayUnits",
    "MenuSettingsDisplayUnitsInches", "MenuSettingsDisplayUnitsInchesInfo",
    "MenuSettingsDisplayUnitsInfo", "MenuSettingsDisplayUnitsMillimetres",
    "MenuSettingsDisplayUnitsMillimetresInfo", "MenuSettingsGraphicsHardware",
    "MenuSettingsGraphicsHardwareEnable3DHardwareAcceleration",
    "MenuSettingsGraphicsHardwareEnable3DHardwareAccelerationInfo",
    "MenuSettingsGraphicsHardwareInfo", "MenuSettingsGraphicsHardwareOverrideSwapCopyBit",
    "MenuSettingsGraphicsHardwareOverrideSwapCopyBitInfo", "MenuSettingsInfo",
    "MenuSettingsLightingAndColours", "MenuSettingsLightingAndColoursInfo",
    "MenuSettingsLoadNow", "MenuSettingsLoadNowInfo", "MenuSettingsResetToDefaults",
    "MenuSettingsResetToDefaultsInfo", "MenuSettingsSaveExit", "MenuSettingsSaveExitInfo",
    "MenuSettingsSaveNow", "MenuSettingsSaveNowInfo", "MenuSettingsToolbar",
    "MenuSettingsToolbarInfo", "MenuSettingsToolbarLargeIcons",
    "MenuSettingsToolbarLargeIconsInfo", "MenuSettingsToolbarMediumIcons",
    "MenuSettingsToolbarMediumIconsInfo", "MenuSettingsToolbarNewStyle",
    "MenuSettingsToolbarNewStyleInfo", "MenuSettingsToolbarOldStyle",
    "MenuSettingsToolbarOldStyleInfo", "MenuSettingsToolbarSmallIcons",
    "MenuSettingsToolbarSmallIconsInfo", "MenuSettingsToolbarTextLabels",
    "MenuSettingsToolbarTextLabelsInfo", "MenuSettingsWand",
    "MenuSettingsWandDoubleClickUndoesSweep", "MenuSettingsWandDoubleClickUndoesSweepInfo",
    "MenuSettingsWandInfo", "MenuSettingsWandTrippleClickClearsScan",
    "MenuSettingsWandTrippleClickClearsScanInfo", "MenuStylus", "MenuStylusAutomaticViewpoint",
    "MenuStylusAutomaticViewpointInfo", "MenuStylusBeepOnCollect",
    "MenuStylusBeepOnCollectInfo", "MenuStylusInfo", "MenuStylusItemSelect",
    "MenuStylusItemTitle", "MenuStylusItemUnselect", "MenuStylusLaserPointerMode",
    "MenuStylusLaserPointerModeInfo", "MenuStylusMarkWithMouse", "MenuStylusMarkWithMouseInfo",
    "MenuStylusProperties", "MenuStylusPropertiesInfo", "MenuStylusRedo", "MenuStylusRedoInfo",
    "MenuStylusReset", "MenuStylusResetInfo", "MenuStylusUndo", "MenuStylusUndoInfo",
    "MenuView", "MenuViewBasicSurface", "MenuViewBasicSurfaceInfo", "MenuViewBoundingBox",
    "MenuViewBoundingBoxFrom", "MenuViewBoundingBoxFromBack",
    "MenuViewBoundingBoxFromBackInfo", "MenuViewBoundingBoxFromBottom",
    "MenuViewBoundingBoxFromBottomInfo", "MenuViewBoundingBoxFromFront",
    "MenuViewBoundingBoxFromFrontInfo", "MenuViewBoundingBoxFromInfo",
    "MenuViewBoundingBoxFromLeft", "MenuViewBoundingBoxFromLeftInfo",
    "MenuViewBoundingBoxFromReight", "MenuViewBoundingBoxFromReightInfo",
    "MenuViewBoundingBoxFromTop", "MenuViewBoundingBoxFromTopInfo", "MenuViewBoundingBoxInfo",
    "MenuViewCameraView", "MenuViewCameraViewInfo", "MenuViewColourMapping",
    "MenuViewColourMappingInfo", "MenuViewColourMappingOff", "MenuViewColourMappingOffInfo",
    "MenuViewColourMappingPseudoGreyscale", "MenuViewColourMappingPseudoGreyscaleInfo",
    "MenuViewColourMappingScanningResolution", "MenuViewColourMappingScanningResolutionInfo",
    "MenuViewColourMappingTrackerRange", "MenuViewColourMappingTrackerRangeInfo",
    "MenuViewColourMappingWandRange", "MenuViewColourMappingWandRangeInfo",
    "MenuViewExtentsWindow", "MenuViewExtentsWindowInfo", "MenuViewInfo", "MenuViewMovement",
    "MenuViewMovementFine", "MenuViewMovementFineInfo", "MenuViewMovementInfo",
    "MenuViewMovementNormal", "MenuViewMovementNormalInfo", "MenuViewMovementUltraFine",
    "MenuViewMovementUltraFineInfo", "MenuViewMovementVeryFine",
    "MenuViewMovementVeryFineInfo", "MenuViewNormals", "MenuViewNormalsInfo", "MenuViewPoints",
    "MenuViewPointsInfo", "MenuViewRbfSurface", "MenuViewRbfSurfaceInfo",
    "MenuViewSetBoundingBoxToView", "MenuViewSetBoundingBoxToViewInfo", "MenuViewSolid",
    "MenuViewSolidInfo", "MenuViewSolidWithEdges", "MenuViewSolidWithEdgesInfo",
    "MenuViewStereoControl", "MenuViewStereoControlInfo", "MenuViewSweeps",
    "MenuViewSweepsInfo", "MenuViewTrackerPositions", "MenuViewTrackerPositionsInfo",
    "MenuViewTrackerPositionsReference", "MenuViewTrackerPositionsReferenceInfo",
    "MenuViewTrackerPositionsTransmitter", "MenuViewTrackerPositionsTransmitterInfo",
    "MenuViewTrackerPositionsWand", "MenuViewTrackerPositionsWandInfo", "MenuViewViewpoint",
    "MenuViewViewpointCenter", "MenuViewViewpointCenterInfo", "MenuViewViewpointInfo",
    "MenuViewViewpointReset", "MenuViewViewpointResetInfo", "MenuViewViewpointRollLeft",
    "MenuViewViewpointRollLeftInfo", "MenuViewViewpointRollRight",
    "MenuViewViewpointRollRightInfo", "MenuViewViewpointRotateDown",
    "MenuViewViewpointRotateDownInfo", "MenuViewViewpointRotateLeft",
    "MenuViewViewpointRotateLeftInfo", "MenuViewViewpointRotateRight",
    "MenuViewViewpointRotateRightInfo", "MenuViewViewpointRotateUp",
    "MenuViewViewpointRotateUpInfo", "MenuViewViewpointTranslateDown",
    "MenuViewViewpointTranslateDownInfo", "MenuViewViewpointTranslateLeft",
    "MenuViewViewpointTranslateLeftInfo", "MenuViewViewpointTranslateRight",
    "MenuViewViewpointTranslateRightInfo", "MenuViewViewpointTranslateUp",
    "MenuViewViewpointTranslateUpInfo", "MenuViewViewpointZoomIn",
    "MenuViewViewpointZoomInInfo", "MenuViewViewpointZoomOut", "MenuViewViewpointZoomOutInfo",
    "MenuViewWireframe", "MenuViewWireframeInfo",

    // Move
    "MoveReceiverForTxWandPage1Instructions", "MoveReceiverForTxWandPage1Title",
    "MoveReceiverForTxWandPage2Instructions", "MoveReceiverForTxWandPage2Title",
    "MoveReceiverPage1Instructions", "MoveReceiverPage1Title", "MoveReceiverPage2Instructions",
    "MoveReceiverPage2Title", "MoveTransmitterPage1Instructions", "MoveTransmitterPage1Title",
    "MoveTransmitterPage2Instructions", "MoveTransmitterPage2Title",

    // Override
    "OverrideSwapCopyDlgQuestion", "OverrideSwapCopyDlgTitle",

    // Ply
    "PlyOptionsGreyscale", "PlyOptionsNormals", "PlyOptionsTitle",

    // Popup
    "PopupMenuNewToolbarIconsLarge", "PopupMenuNewToolbarIconsMedium",
    "PopupMenuNewToolbarIconsSmall", "PopupMenuNewToolbarSwtichToOld",
    "PopupMenuNewToolbarTextLabels", "PopupMenuOldToolbarSwitchToNew", "PopupMenuStylusDelete",
    "PopupMenuStylusHide", "PopupMenuStylusSelect", "PopupMenuToolbarButtonHelp",
    "PopupMenuToolbarExportAaop", "PopupMenuToolbarExportBasic", "PopupMenuToolbarExportBatch",
    "PopupMenuToolbarExportRbf", "PopupMenuToolbarExportStylus",
    "PopupMenuToolbarExportSweeps",

    // Profile
    "ProfileSmoothingHigh", "ProfileSmoothingLow", "ProfileSmoothingMedium",
    "ProfileSmoothingOff",

    // Refraction
    "RefractionCorrectionCustomOffset", "RefractionCorrectionGlassOffset",
    "RefractionCorrectionGlassProperties", "RefractionCorrectionGlassReference",
    "RefractionCorrectionGlassThickness", "RefractionCorrectionIndex",
    "RefractionCorrectionRefFarSide", "RefractionCorrectionRefLoc",
    "RefractionCorrectionRefNearSide", "RefractionCorrectionSmallOffset",
    "RefractionCorrectionStandardOffset", "RefractionCorrectionTitle",
    "RefractionCorrectionUseRxAsRef", "RefractionCorrectionUseTxAsRef",

    // Save
    "SaveDiscardBasicSurf", "SaveDiscardRBFSurf", "SaveDiscardScan",

    // Scan
    "ScanLimBestRes", "ScanLimMaxAngle", "ScanLimMaxRange", "ScanLimProfileSmoothing",
    "ScanLimTitle", "ScanLimWorstRes",

    // Scanner
    "ScannerPropCPULoadLabel", "ScannerPropCalFileLabel", "ScannerPropDataLabel",
    "ScannerPropDevManButtonLabel", "ScannerPropDriverEnabledLabel",
    "ScannerPropDriverStatusLabel", "ScannerPropExplainGroup", "ScannerPropHwVerLabel",
    "ScannerPropOptionParallel", "ScannerPropOptionUsb", "ScannerPropPortDriverGroupLabel",
    "ScannerPropProcessingUnitLabel", "ScannerPropQuadrelFreqLabel", "ScannerPropScannerGroup",
    "ScannerPropTitle", "ScannerPropTrackFreq10kHz", "ScannerPropTrackFreq12kHz",
    "ScannerPropTrackFreq14kHz", "ScannerPropTrackFreq8kHz", "ScannerPropTrackerLabel",

    // Selvane
    "SelvaneAboutTitle", "SelvaneAboutVersion",

    // Snapshot
    "SnapshotInfoBasicParameters", "SnapshotInfoDecimation", "SnapshotInfoNumFacetsUnits",
    "SnapshotInfoNumPointsUnits", "SnapshotInfoNumProfilesUnits", "SnapshotInfoNumSweepsUnits",
    "SnapshotInfoObjectLimit", "SnapshotInfoOffValue", "SnapshotInfoOnValue",
    "SnapshotInfoRbfAccuracy", "SnapshotInfoRbfClosed", "SnapshotInfoRbfMarginSize",
    "SnapshotInfoRbfOpen", "SnapshotInfoRbfParameters", "SnapshotInfoRbfResolution",
    "SnapshotInfoRbfSimplification", "SnapshotInfoRbfTrimmedToData",
    "SnapshotInfoRbfTrimmedToEdges", "SnapshotInfoRbfUseStylus", "SnapshotInfoSimplification",
    "SnapshotInfoSmoothing", "SnapshotInfoSurfaceArea", "SnapshotInfoSurfaceAreaUnits",

    // Standard
    "StandardBasicSurface", "StandardDialogApply", "StandardDialogCancel",
    "StandardDialogClose", "StandardDialogDefaults", "StandardDialogDo",
    "StandardDialogDontSave", "StandardDialogErrorTitle", "StandardDialogOK",
    "StandardDialogProcessingProgress", "StandardDialogSave", "StandardDialogSelectRef",
    "StandardDialogUndo", "StandardDialogWarningTitle", "StandardHW",
    "StandardInchesAbbreviation", "StandardMillimetresAbbreviation", "StandardProfiles",
    "StandardRbfSurface", "StandardSweeps",

    // Status
    "StatusBarAccuracyCheckMode", "StatusBarBackWarning", "StatusBarCalCheckMode",
    "StatusBarCalMode", "StatusBarCameraMode", "StatusBarPreviewMode", "StatusBarScanMode",
    "StatusBarZoom",

    // Stl
    "StlOptionsSwapByteOrder", "StlOptionsTitle",

    // Stylus
    "StylusBadRefDlgTitle", "StylusHemisphereBadRefQuestion",
    "StylusHemisphereSetupInstructionsRX", "StylusHemisphereSetupInstructionsTX",
    "StylusHemisphereSetupTitle", "StylusItemInfo", "StylusListItemColumn",
    "StylusListMoveToSurface", "StylusListStylusNumber", "StylusListTitle", "StylusPointMoved",
    "StylusPropertiesDefaultIsOnSurface", "StylusPropertiesLineMode",
    "StylusPropertiesLineSegmentSize", "StylusPropertiesLineStyle",
    "StylusPropertiesPointMode", "StylusPropertiesPointStyle", "StylusPropertiesTitle",

    // Surf
    "SurfReductionProcessFacetsMsg", "SurfReductionProcessPointsMsg",
    "SurfReductionSimplifyFacetsMsg",

    // Sweep
    "SweepListDetailsColumn", "SweepListFlip", "SweepListFlippedColumn",
    "SweepListFlippedState", "SweepListNumberOfPoints", "SweepListPointsColumn",
    "SweepListSurface", "SweepListSweepNumber", "SweepListTimeColumn", "SweepListTitle",
    "SweepListTransparent", "SweepRegAbortMsg", "SweepRegApplyMsg", "SweepRegDialogAborted",
    "SweepRegDialogBadParams", "SweepRegDialogFailure", "SweepRegDialogNotEnoughSweeps",
    "SweepRegDialogSuccess", "SweepRegDialogTitle", "SweepRegFeedbackDialogTitle",
    "SweepRegInitMsg", "SweepRegRegisterMsg", "SweepStylusSelectAll",
    "SweepStylusSelectInvert", "SweepStylusSelectNone",

    // Title
    "TitleBarUnnamedFile",

    // Wait
    "WaitCursorComputingCorrection", "WaitCursorFileRead", "WaitCursorFileWrite",
    "WaitCursorProcessing", "WaitCursorReady", "WaitCursorRendering", "WaitCursorScannerInit",
    "WaitCursorUnload",

    // Wand
    "WandHemisphereSetupInstructionsRX", "WandHemisphereSetupInstructionsTX",
    "WandHemisphereSetupKeepData", "WandHemisphereSetupTitle",

    // Wavefront
    "WavefrontOptionsColouringType", "WavefrontOptionsGreyscale",
    "WavefrontOptionsGroupFacets", "WavefrontOptionsNormals", "WavefrontOptionsPerFacet",
    "WavefrontOptionsTextureMap", "WavefrontOptionsTitle",
};

const std::size_t kLocaleDeclaredKeyCount = sizeof(kLocaleDeclaredKeys) / sizeof(kLocaleDeclaredKeys[0]);
