-- Version 2: identifiers are never handed out twice. Each table with an identity column is
-- rebuilt with AUTOINCREMENT, its rows and ids kept: from here on a new row's id is above
-- every id the table holds or held since, where version 1 gave the next row one more than
-- the highest id left, so that a deleted row's id came back. The rebuild runs in the
-- upgrade's one transaction: a file it cannot rebuild (a column added by hand) is left as it
-- was, and so is a file with views or triggers of its own, which a rebuild would break or drop.

CREATE TEMP TABLE quill_guard (views_and_triggers_in_the_way INTEGER
                               CHECK (views_and_triggers_in_the_way = 0));
INSERT INTO quill_guard SELECT count(*) FROM sqlite_master WHERE type IN ('view', 'trigger');
DROP TABLE quill_guard;

CREATE TABLE quill_rebuilt (
  fldConstScenarioID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldConstScenarioType TEXT,
  fldConstScenarioDesc TEXT
);
INSERT INTO quill_rebuilt SELECT * FROM tblConstruction_Scenario_Types;
DROP TABLE tblConstruction_Scenario_Types;
ALTER TABLE quill_rebuilt RENAME TO tblConstruction_Scenario_Types;
CREATE INDEX ixConstruction_Scenario_Types_Type
  ON tblConstruction_Scenario_Types (fldConstScenarioType);

CREATE TABLE quill_rebuilt (
  fldFeatureListID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldFeatureID INTEGER,
  fldNewFtrSandEPoints TEXT,
  fldLinkName TEXT,
  fldLinkDescription TEXT,
  fldLinkType TEXT,
  fldLinkVarSet TEXT
);
INSERT INTO quill_rebuilt SELECT * FROM tblGlobal_Contr_Featr_Lists;
DROP TABLE tblGlobal_Contr_Featr_Lists;
ALTER TABLE quill_rebuilt RENAME TO tblGlobal_Contr_Featr_Lists;
CREATE INDEX ixGlobal_Contr_Featr_Lists_Feature
  ON tblGlobal_Contr_Featr_Lists (fldFeatureID, fldLinkName, fldLinkType);

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM tblGlobal_Imprint_Assignments;
DROP TABLE tblGlobal_Imprint_Assignments;
ALTER TABLE quill_rebuilt RENAME TO tblGlobal_Imprint_Assignments;
CREATE INDEX ixGlobal_Imprint_Assignments_Scenario
  ON tblGlobal_Imprint_Assignments
     (fldlngConstScenarioID, fldstrUDI_Type, fldstrPartType1, fldstrPartType2);

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM tblGlobal_Machining_Links;
DROP TABLE tblGlobal_Machining_Links;
ALTER TABLE quill_rebuilt RENAME TO tblGlobal_Machining_Links;
CREATE INDEX ixGlobal_Machining_Links_Name
  ON tblGlobal_Machining_Links (fldType, fldName, fldDescription);

CREATE TABLE quill_rebuilt (
  fldPatternID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldLinkIDEE INTEGER,
  fldLinkIDEF INTEGER,
  fldLinkIDFE INTEGER,
  fldLinkIDFF INTEGER
);
INSERT INTO quill_rebuilt SELECT * FROM tblGlobal_Relationship_Patterns;
DROP TABLE tblGlobal_Relationship_Patterns;
ALTER TABLE quill_rebuilt RENAME TO tblGlobal_Relationship_Patterns;

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM tblLocal_Contr_Featr_Lists;
DROP TABLE tblLocal_Contr_Featr_Lists;
ALTER TABLE quill_rebuilt RENAME TO tblLocal_Contr_Featr_Lists;

CREATE TABLE quill_rebuilt (
  fldDesignID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldDesignName TEXT,
  fldComputerName TEXT,
  fldCheckSum INTEGER,
  fldCreated TEXT DEFAULT (datetime('now', 'localtime')),
  fldData BLOB
);
INSERT INTO quill_rebuilt SELECT * FROM tblLocal_Designs;
DROP TABLE tblLocal_Designs;
ALTER TABLE quill_rebuilt RENAME TO tblLocal_Designs;
CREATE INDEX ixLocal_Designs_Name ON tblLocal_Designs (fldDesignName, fldComputerName);

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM tblLocal_Machining_Links;
DROP TABLE tblLocal_Machining_Links;
ALTER TABLE quill_rebuilt RENAME TO tblLocal_Machining_Links;
CREATE INDEX ixLocal_Machining_Links_Pattern
  ON tblLocal_Machining_Links (fldPattType, fldRelation, fldType, fldName);

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM tblLocal_Relation_Assignments;
DROP TABLE tblLocal_Relation_Assignments;
ALTER TABLE quill_rebuilt RENAME TO tblLocal_Relation_Assignments;
CREATE INDEX ixLocal_Relation_Assignments_Parts
  ON tblLocal_Relation_Assignments
     (fldConstScenarioID, fldPartType1, fldPartType2, fldSubType1, fldSubType2);

CREATE TABLE quill_rebuilt (
  fldPatternID INTEGER PRIMARY KEY AUTOINCREMENT,
  fldPattType TEXT,
  fldRelation TEXT,
  fldLinkIDEE INTEGER,
  fldLinkIDEF INTEGER,
  fldLinkIDFE INTEGER,
  fldLinkIDFF INTEGER
);
INSERT INTO quill_rebuilt SELECT * FROM tblLocal_Relationship_Patterns;
DROP TABLE tblLocal_Relationship_Patterns;
ALTER TABLE quill_rebuilt RENAME TO tblLocal_Relationship_Patterns;

CREATE TABLE quill_rebuilt (
  MachID INTEGER PRIMARY KEY AUTOINCREMENT,
  MachName TEXT,
  MachGroup TEXT,
  X REAL,
  Y REAL,
  Z REAL,
  MachLibID INTEGER
);
INSERT INTO quill_rebuilt SELECT * FROM Machining;
DROP TABLE Machining;
ALTER TABLE quill_rebuilt RENAME TO Machining;
CREATE INDEX ixMachining_Name ON Machining (MachName, MachLibID);

CREATE TABLE quill_rebuilt (
  MachLinkID INTEGER PRIMARY KEY AUTOINCREMENT,
  MachID INTEGER,
  MachRuleID INTEGER,
  MachListVar TEXT,
  MachExprVar TEXT,
  MirrorX INTEGER,
  MirrorY INTEGER
);
INSERT INTO quill_rebuilt SELECT * FROM MachLink;
DROP TABLE MachLink;
ALTER TABLE quill_rebuilt RENAME TO MachLink;
CREATE INDEX ixMachLink_Rule ON MachLink (MachID, MachRuleID);

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM MachRouting;
DROP TABLE MachRouting;
ALTER TABLE quill_rebuilt RENAME TO MachRouting;
CREATE INDEX ixMachRouting_Machining ON MachRouting (MachID);

CREATE TABLE quill_rebuilt (
  MachVarID INTEGER PRIMARY KEY AUTOINCREMENT,
  Name TEXT,
  Value TEXT,
  Requested INTEGER,
  MachLibID INTEGER
);
INSERT INTO quill_rebuilt SELECT * FROM MachVariable;
DROP TABLE MachVariable;
ALTER TABLE quill_rebuilt RENAME TO MachVariable;
CREATE INDEX ixMachVariable_Name ON MachVariable (Name, MachLibID);

CREATE TABLE quill_rebuilt (
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
INSERT INTO quill_rebuilt SELECT * FROM MachVertical;
DROP TABLE MachVertical;
ALTER TABLE quill_rebuilt RENAME TO MachVertical;
CREATE INDEX ixMachVertical_Machining ON MachVertical (MachID);
