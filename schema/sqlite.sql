-- The embedded QuillData database.
--
-- One table per record type, one column per record field, named as the field and in the
-- field's order, with the affinity of the field's declared type:
--   whole number -> INTEGER, double -> REAL, string -> TEXT, boolean -> INTEGER (1/0),
--   date -> TEXT ('YYYY-MM-DD HH:MM:SS'), variant -> BLOB.
-- Identity columns are INTEGER PRIMARY KEY (the rowid), so that last_insert_rowid() returns
-- the new row's identifier, and AUTOINCREMENT, so that an identifier is never handed out
-- twice: a row deleted with its links left behind (a machining's) must not have its links
-- point at a new, unrelated row. No table may be WITHOUT ROWID. Fields declared as strings stay TEXT even where they hold numbers
-- (MachRouting's tool values, the part types of the filters): '0' stays '0', and a value
-- written as a number is stored as its text.
--
-- Every look-up that the writers make is served by an index, so that a look-up costs the
-- same at 100 rows and at 100,000.

CREATE TABLE tblConstruction_Scenario_Types (
  fldConstScenarioID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldConstScenarioType TEXT,
  fldConstScenarioDesc TEXT
);
CREATE INDEX ixConstruction_Scenario_Types_Type
  ON tblConstruction_Scenario_Types (fldConstScenarioType);

-- Every filter row is written with fldFltrScenarioID 0: it identifies nothing.
CREATE TABLE tblFilter_Scenarios (
  fldFltrScenarioID TEXT,
  fldPartType1 TEXT,
  fldPartType2 TEXT,
  fldSubType1 TEXT,
  fldSubType2 TEXT
);
CREATE INDEX ixFilter_Scenarios_Parts
  ON tblFilter_Scenarios (fldPartType1, fldPartType2, fldSubType1, fldSubType2);

CREATE TABLE tblGlobal_Contr_Featr_Lists (
  fldFeatureListID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldFeatureID INTEGER,
  fldNewFtrSandEPoints TEXT,
  fldLinkName TEXT,
  fldLinkDescription TEXT,
  fldLinkType TEXT,
  fldLinkVarSet TEXT
);
CREATE INDEX ixGlobal_Contr_Featr_Lists_Feature
  ON tblGlobal_Contr_Featr_Lists (fldFeatureID, fldLinkName, fldLinkType);

CREATE TABLE tblGlobal_Contr_Featr_Patterns (
  fldPartTypeID TEXT,
  fldSubTypeID TEXT,
  fldFeatureKey INTEGER,
  fldFeatureListID INTEGER
);
CREATE INDEX ixGlobal_Contr_Featr_Patterns_Part
  ON tblGlobal_Contr_Featr_Patterns (fldPartTypeID, fldSubTypeID, fldFeatureKey, fldFeatureListID);

-- Written by its delete only; it has no record type of its own.
CREATE TABLE tblLocal_Contr_Featr_Patterns (
  fldPartTypeID TEXT,
  fldSubTypeID TEXT,
  fldFeatureKey INTEGER,
  fldFeatureListID INTEGER
);
CREATE INDEX ixLocal_Contr_Featr_Patterns_Part
  ON tblLocal_Contr_Featr_Patterns (fldPartTypeID, fldSubTypeID, fldFeatureKey);

CREATE TABLE tblGlobal_Face_Contour_Links (
  fldPartTypeID TEXT,
  fldSubTypeID TEXT,
  fldConstScenarioID INTEGER,
  fldLinkName TEXT,
  fldLinkDescription TEXT,
  fldLinkType TEXT,
  fldLinkVarSet TEXT
);
CREATE INDEX ixGlobal_Face_Contour_Links_Part
  ON tblGlobal_Face_Contour_Links (fldPartTypeID, fldSubTypeID, fldConstScenarioID);
CREATE INDEX ixGlobal_Face_Contour_Links_Scenario
  ON tblGlobal_Face_Contour_Links (fldConstScenarioID);

CREATE TABLE tblGlobal_Imprint_Assignments (
  fldlngRelationPattern INTEGER PRIMARY KEY AUTOINCREMENT,
  fldlngConstScenarioID INTEGER,
  fldstrUDI_Type TEXT,
  fldstrPartType1 INTEGER,
  fldstrPartType2 INTEGER,
  fldstrFeaturePattern1 TEXT,
  fldstrFeaturePattern2 TEXT,
  fldstrFaceNormal1 TEXT,
  fldstrFaceNormal2 TEXT,
  fldSubType1 INTEGER,
  fldSubType2 INTEGER,
  fldstrPart1FacesTypeOrient TEXT,
  fldstrPart2FacesTypeOrient TEXT,
  fldblnFront INTEGER
);
CREATE INDEX ixGlobal_Imprint_Assignments_Scenario
  ON tblGlobal_Imprint_Assignments
     (fldlngConstScenarioID, fldstrUDI_Type, fldstrPartType1, fldstrPartType2);

-- The identifier is the relationship pattern that the caller names.
CREATE TABLE tblGlobal_Imprint_Definitions (
  fldlngRelationPattern INTEGER PRIMARY KEY,
  fldstrName TEXT,
  fldstrDescription TEXT,
  fldMerge INTEGER,
  fldLngBotDist INTEGER,
  fldLngBotPartType INTEGER,
  fldLngBotOffset INTEGER,
  fldLngBotSide INTEGER,
  fldblnBotUnion INTEGER,
  fldLngRightDist INTEGER,
  fldLngRightPartType INTEGER,
  fldLngRightOffset INTEGER,
  fldLngRightSide INTEGER,
  fldblnRightUnion INTEGER,
  fldLngTopDist INTEGER,
  fldLngTopPartType INTEGER,
  fldLngTopOffset INTEGER,
  fldLngTopSide INTEGER,
  fldblnTopUnion INTEGER,
  fldLngLeftDist INTEGER,
  fldLngLeftPartType INTEGER,
  fldLngLeftOffset INTEGER,
  fldLngLeftSide INTEGER,
  fldblnLeftUnion INTEGER
);

CREATE TABLE tblGlobal_Machining_Links (
  fldLinkID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldType TEXT,
  fldDescription TEXT,
  fldName TEXT,
  fldMirrorX INTEGER,
  fldMirrorY INTEGER,
  fldAngle REAL,
  fldVarSet TEXT,
  fldIsPrimary INTEGER,
  fldRefCorner TEXT
);
CREATE INDEX ixGlobal_Machining_Links_Name
  ON tblGlobal_Machining_Links (fldType, fldName, fldDescription);

-- Keyed by the relationship pattern it points to; one pattern per assignment.
CREATE TABLE tblGlobal_Relation_Assignments (
  fldPatternID INTEGER,
  fldConstScenarioID INTEGER,
  fldPartType1 TEXT,
  fldPartType2 TEXT,
  fldFeaturePattern1 TEXT,
  fldFeaturePattern2 TEXT,
  fldFaceNormal1 TEXT,
  fldFaceNormal2 TEXT,
  fldSubType1 TEXT,
  fldSubType2 TEXT
);
CREATE INDEX ixGlobal_Relation_Assignments_Parts
  ON tblGlobal_Relation_Assignments
     (fldConstScenarioID, fldPartType1, fldPartType2, fldSubType1, fldSubType2);

CREATE TABLE tblGlobal_Relationship_Patterns (
  fldPatternID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldLinkIDEE INTEGER,
  fldLinkIDEF INTEGER,
  fldLinkIDFE INTEGER,
  fldLinkIDFF INTEGER
);

CREATE TABLE tblLocal_Contr_Featr_Lists (
  fldFeatureListID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldFeatureID INTEGER,
  fldNewFtrSandEPoints TEXT,
  fldLinkName TEXT,
  fldLinkDescription TEXT,
  fldLinkType TEXT,
  fldLinkVarSet TEXT,
  fldPattType TEXT,
  fldRelation TEXT,
  fldDesignID INTEGER
);

-- fldCreated is written by the database (local time); fldData is never read back.
CREATE TABLE tblLocal_Designs (
  fldDesignID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldDesignName TEXT,
  fldComputerName TEXT,
  fldCheckSum INTEGER,
  fldCreated TEXT DEFAULT (datetime('now', 'localtime')),
  fldData BLOB
);
CREATE INDEX ixLocal_Designs_Name ON tblLocal_Designs (fldDesignName, fldComputerName);

CREATE TABLE tblLocal_Face_Contour_Links (
  fldPartTypeID TEXT,
  fldSubTypeID TEXT,
  fldConstScenarioID INTEGER,
  fldLinkName TEXT,
  fldLinkDescription TEXT,
  fldLinkType TEXT,
  fldLinkVarSet TEXT,
  fldPattType TEXT,
  fldRelation TEXT,
  fldDesignID INTEGER
);
CREATE INDEX ixLocal_Face_Contour_Links_Part
  ON tblLocal_Face_Contour_Links (fldPartTypeID, fldSubTypeID, fldConstScenarioID, fldDesignID);
CREATE INDEX ixLocal_Face_Contour_Links_Scenario
  ON tblLocal_Face_Contour_Links (fldConstScenarioID);

CREATE TABLE tblLocal_Machining_Links (
  fldLinkID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldPattType TEXT,
  fldRelation TEXT,
  fldType TEXT,
  fldDescription TEXT,
  fldName TEXT,
  fldMirrorX INTEGER,
  fldMirrorY INTEGER,
  fldAngle REAL,
  fldVarSet TEXT,
  fldIsPrimary INTEGER,
  fldRefCorner TEXT
);
CREATE INDEX ixLocal_Machining_Links_Pattern
  ON tblLocal_Machining_Links (fldPattType, fldRelation, fldType, fldName);

CREATE TABLE tblLocal_Relation_Assignments (
  fldItemID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldPatternID INTEGER,
  fldDesignID INTEGER,
  fldPattType TEXT,
  fldRelation TEXT,
  fldConstScenarioID INTEGER,
  fldPartType1 TEXT,
  fldPartType2 TEXT,
  fldFeaturePattern1 TEXT,
  fldFeaturePattern2 TEXT,
  fldFaceNormal1 TEXT,
  fldFaceNormal2 TEXT,
  fldSubType1 TEXT,
  fldSubType2 TEXT
);
CREATE INDEX ixLocal_Relation_Assignments_Parts
  ON tblLocal_Relation_Assignments
     (fldConstScenarioID, fldPartType1, fldPartType2, fldSubType1, fldSubType2);

CREATE TABLE tblLocal_Relationship_Patterns (
  fldPatternID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldPattType TEXT,
  fldRelation TEXT,
  fldLinkIDEE INTEGER,
  fldLinkIDEF INTEGER,
  fldLinkIDFE INTEGER,
  fldLinkIDFF INTEGER
);

CREATE TABLE Machining (
  MachID INTEGER PRIMARY KEY AUTOINCREMENT,
  MachName TEXT,
  MachGroup TEXT,
  X REAL,
  Y REAL,
  Z REAL,
  MachLibID INTEGER
);
CREATE INDEX ixMachining_Name ON Machining (MachName, MachLibID);

-- VarList is held by the host only: it has no column.
CREATE TABLE MachLink (
  MachLinkID INTEGER PRIMARY KEY AUTOINCREMENT,
  MachID INTEGER,
  MachRuleID INTEGER,
  MachListVar TEXT,
  MachExprVar TEXT,
  MirrorX INTEGER,
  MirrorY INTEGER
);
CREATE INDEX ixMachLink_Rule ON MachLink (MachID, MachRuleID);

-- Every value column is text, numbers included, as the host reads and writes them. A NULL
-- column reads as the machine default of a new record.
CREATE TABLE MachRouting (
  lngMachRoutingID INTEGER PRIMARY KEY AUTOINCREMENT,
  strName TEXT,
  MachDescription TEXT,
  strActiveFlag TEXT,
  strDepthOption TEXT,
  dblDepthValue TEXT,
  dblDefaultToolDiameter TEXT,
  lngToolType TEXT,
  strToolRotation TEXT,
  lngToolRotationSpeed TEXT,
  lngToolPlungeFeedRate TEXT,
  lngToolMiniFeedRate TEXT,
  lngToolMaxiFeedRate TEXT,
  lngToolDefaultFeedRate TEXT,
  strOption TEXT,
  lngOscillation TEXT,
  lngGrain TEXT,
  ToolCompensation TEXT,
  lngLeadInEgalLeadout TEXT,
  lngLeadInL TEXT,
  strLeadInType TEXT,
  lngLeadInRamp TEXT,
  lngLeadInLength TEXT,
  lngLeadInAngle TEXT,
  strLeadOutType TEXT,
  lngLeadOutRamp TEXT,
  lngLeadOutLength TEXT,
  lngLeadOutAngle TEXT,
  dblXYOffsetDistance TEXT,
  strOffsetDirection TEXT,
  ZOffsetDistance TEXT,
  lngPocket TEXT,
  strOptionValue TEXT,
  dblToolLength TEXT,
  dblToolCutLength TEXT,
  ToolName TEXT,
  MachID INTEGER,
  FeatLength TEXT,
  FeatWidth TEXT,
  FeatDepth TEXT,
  FeatCornerRadius TEXT,
  FeatCenterX TEXT,
  FeatCenterY TEXT,
  FeatCenterZ TEXT,
  NormalX TEXT,
  NormalY TEXT,
  NormalZ TEXT
);
CREATE INDEX ixMachRouting_Machining ON MachRouting (MachID);

CREATE TABLE MachVariable (
  MachVarID INTEGER PRIMARY KEY AUTOINCREMENT,
  Name TEXT,
  Value TEXT,
  Requested INTEGER,
  MachLibID INTEGER
);
CREATE INDEX ixMachVariable_Name ON MachVariable (Name, MachLibID);

CREATE TABLE MachVertical (
  MachVerticalID INTEGER PRIMARY KEY AUTOINCREMENT,
  MachDescription TEXT,
  strName TEXT,
  strMachOrientation TEXT,
  Condition TEXT,
  Xstart TEXT,
  Ystart TEXT,
  DrillDepth TEXT,
  ToolDiameter TEXT,
  NumberOfHoles TEXT,
  OffsetDistancealongXaxis TEXT,
  OffsetDistancealongYaxis TEXT,
  MachID INTEGER,
  Zstart TEXT,
  NormalX TEXT,
  NormalY TEXT,
  NormalZ TEXT
);
CREATE INDEX ixMachVertical_Machining ON MachVertical (MachID);

CREATE TABLE tblMFG_Part_Types (
  fldPartID TEXT,
  fldPartDescription TEXT,
  fldSubTypeID TEXT,
  fldSubTypeDesc TEXT,
  fldVenLam INTEGER,
  fldPartKind TEXT,
  fldPartGrain TEXT
);
CREATE INDEX ixMFG_Part_Types_Part ON tblMFG_Part_Types (fldPartID, fldSubTypeID);

CREATE TABLE tblMFG_Scenario (
  fldMFGScenarioID INTEGER,
  fldMFGProcessID INTEGER,
  fldPartID INTEGER,
  fldSubTypeID TEXT,
  fldIsDefaultRouting INTEGER,
  fldRotRouting INTEGER,
  fldMachOrientAngle TEXT,
  fldVenLam INTEGER,
  fldGrainDir TEXT,
  fldVLFrGrainDir TEXT,
  fldVLBkGrainDir TEXT,
  fldIsFlipped TEXT
);
CREATE INDEX ixMFG_Scenario_Part ON tblMFG_Scenario (fldMFGScenarioID, fldPartID, fldSubTypeID);
