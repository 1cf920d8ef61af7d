-- A small workshop's data: a cabinet line with two construction scenarios, its machinings
-- (routing, vertical drilling, links and variables), part types, filters, relationship
-- patterns and assignments, imprints, contour features and one local design.
--
-- Part types: 1 side panel, 2 top, 3 bottom, 4 shelf, 5 back panel, 6 door.
-- Subtypes: A standard, B with edge banding, G glass door.

INSERT INTO tblConstruction_Scenario_Types (fldConstScenarioID, fldConstScenarioType, fldConstScenarioDesc) VALUES
  (1, 'Standard', 'Carcase with dowels and a grooved back panel'),
  (2, 'Frameless', 'Frameless 32 mm system with cam connectors');

-- Rows whose second part type is '0' filter a single part type.
INSERT INTO tblFilter_Scenarios (fldFltrScenarioID, fldPartType1, fldPartType2, fldSubType1, fldSubType2) VALUES
  ('0', '1', '2', 'A', 'A'),
  ('0', '1', '3', 'A', 'B'),
  ('0', '4', '0', 'A', ''),
  ('0', '6', '0', 'G', '');

INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID) VALUES
  (1, 'Hinge bore 35', 'Hinges', 22.5, 96, 13, 1),
  (2, 'Shelf pin row', 'Shelves', 37, 32, 12, 1),
  (3, 'Back panel groove', 'Grooves', 0, 18, 8, 1),
  (4, 'Dowel 8x30', 'Connectors', 32, 9.5, 30, 1),
  (5, 'Handle 128', 'Handles', 64, 35.25, 20, 2);

INSERT INTO MachRouting (lngMachRoutingID, strName, MachDescription, strActiveFlag, strDepthOption,
    dblDepthValue, dblDefaultToolDiameter, lngToolType, strToolRotation, lngToolRotationSpeed,
    lngToolPlungeFeedRate, lngToolMiniFeedRate, lngToolMaxiFeedRate, lngToolDefaultFeedRate,
    strOption, lngOscillation, lngGrain, ToolCompensation, lngLeadInEgalLeadout, lngLeadInL,
    strLeadInType, lngLeadInRamp, lngLeadInLength, lngLeadInAngle, strLeadOutType, lngLeadOutRamp,
    lngLeadOutLength, lngLeadOutAngle, dblXYOffsetDistance, strOffsetDirection, ZOffsetDistance,
    lngPocket, strOptionValue, dblToolLength, dblToolCutLength, ToolName, MachID, FeatLength,
    FeatWidth, FeatDepth, FeatCornerRadius, FeatCenterX, FeatCenterY, FeatCenterZ, NormalX,
    NormalY, NormalZ) VALUES
  (1, 'Groove 8 mm', 'Back panel groove, one pass', 'A', 'dep_per_no', '8', '8', '1', 'right',
    '18000', '100', '50', '90', '90', 'nil', '0', '', '0', '1', '0', 'lead_in_no', '0', '100',
    '90', 'lead_out_no', '0', '100', '90', '0', 'cont_offset_right', '0', '0', '0', '60', '25',
    'Groove cutter 8', 3, '0', '8', '8', '0', '0', '0', '0', '0', '0', '1'),
  (2, 'Handle pocket', 'Pocket for a recessed handle', 'A', 'dep_per_no', '12.5', '12', '1',
    'right', '16000', '80', '50', '90', '85', 'nil', '0', 'X', '1', '1', '0', 'lead_in_arc', '0',
    '20', '45', 'lead_out_arc', '0', '20', '45', '0.5', 'cont_offset_left', '0', '1', '0', '80',
    '30', 'Spiral cutter 12', 5, '128', '30', '12.5', '6', '64', '35.25', '0', '0', '0', '1');

-- A routing row written with only its name and machining: every other column reads as the
-- machine default.
INSERT INTO MachRouting (lngMachRoutingID, strName, MachDescription, MachID) VALUES
  (3, 'Edge profile', 'Edge profile', 3);

INSERT INTO MachVertical (MachVerticalID, MachDescription, strName, strMachOrientation, Condition,
    Xstart, Ystart, DrillDepth, ToolDiameter, NumberOfHoles, OffsetDistancealongXaxis,
    OffsetDistancealongYaxis, MachID, Zstart, NormalX, NormalY, NormalZ) VALUES
  (1, 'Hinge cup', 'Hinge cup', 'V', '0', '22.5', '96', '13', '35', '1', '0', '0', 1, 'Z', '0', '0', '-1'),
  (2, 'Shelf pins', 'Shelf pins', 'V', '0', '37', '32', '12', '5', '8', '32', '0', 2, 'Z', '0', '0', '-1'),
  (3, 'Dowel holes', 'Dowel holes', 'H', '0', '32', '9.5', '30', '8', '2', '64', '0', 4, '0', '0', '1', '0');

INSERT INTO MachLink (MachLinkID, MachID, MachRuleID, MachListVar, MachExprVar, MirrorX, MirrorY) VALUES
  (1, 1, 10, 'HingeCount', 'HingeDist', 0, 0),
  (2, 2, 20, 'PinRows', 'PinPitch', 1, 0),
  (3, 4, 30, 'DowelCount', 'DowelDist', 0, 1);

INSERT INTO MachVariable (MachVarID, Name, Value, Requested, MachLibID) VALUES
  (1, 'HingeDist', '96', 1, 1),
  (2, 'PinPitch', '32', 0, 1),
  (3, 'DowelDist', '64', 1, 1),
  (4, 'HandleLength', '128', 1, 2);

INSERT INTO tblMFG_Part_Types (fldPartID, fldPartDescription, fldSubTypeID, fldSubTypeDesc, fldVenLam, fldPartKind, fldPartGrain) VALUES
  ('1', 'Side panel', 'A', 'Standard', 0, 'Panel', 'Length'),
  ('1', 'Side panel', 'B', 'With edge banding', 1, 'Panel', 'Length'),
  ('4', 'Shelf', 'A', 'Standard', 0, 'Panel', 'Width'),
  ('6', 'Door', 'G', 'Glass door', 0, 'Frame', 'None');

INSERT INTO tblMFG_Scenario (fldMFGScenarioID, fldMFGProcessID, fldPartID, fldSubTypeID, fldIsDefaultRouting,
    fldRotRouting, fldMachOrientAngle, fldVenLam, fldGrainDir, fldVLFrGrainDir, fldVLBkGrainDir, fldIsFlipped) VALUES
  (1, 0, 1, 'A', 1, 0, '0', 0, 'None', 'None', 'None', 'No'),
  (1, 0, 4, 'A', 1, 90, '90', 0, 'Width', 'None', 'None', 'No'),
  (2, 3, 6, 'G', 0, 0, '0', 1, 'Length', 'Length', 'Length', 'Yes');

INSERT INTO tblGlobal_Machining_Links (fldLinkID, fldType, fldDescription, fldName, fldMirrorX, fldMirrorY, fldAngle, fldVarSet, fldIsPrimary, fldRefCorner) VALUES
  (1, 'Dowel', 'Dowels along the top edge', 'Dowel 8x30', 0, 0, 0, 'DowelDist=64', 1, 'TL'),
  (2, 'Hinge', 'Two hinges, left side', 'Hinge bore 35', 1, 0, 90, 'HingeDist=96', 1, 'BL'),
  (3, 'Groove', 'Back panel groove', 'Back panel groove', 0, 0, 0, '', 0, 'BR');

INSERT INTO tblGlobal_Relationship_Patterns (fldPatternID, fldLinkIDEE, fldLinkIDEF, fldLinkIDFE, fldLinkIDFF) VALUES
  (1, 1, 0, 0, 0),
  (2, 0, 2, 0, 0),
  (3, 0, 0, 3, 1);

INSERT INTO tblGlobal_Relation_Assignments (fldPatternID, fldConstScenarioID, fldPartType1, fldPartType2,
    fldFeaturePattern1, fldFeaturePattern2, fldFaceNormal1, fldFaceNormal2, fldSubType1, fldSubType2) VALUES
  (1, 1, '1', '2', 'Edge', 'Face', '+Y', '-Z', 'A', 'A'),
  (2, 1, '1', '6', 'Face', 'Edge', '+X', '-X', 'A', 'G'),
  (3, 2, '1', '5', 'Face', 'Face', '+X', '+Z', 'B', 'A');

INSERT INTO tblGlobal_Imprint_Definitions (fldlngRelationPattern, fldstrName, fldstrDescription, fldMerge,
    fldLngBotDist, fldLngBotPartType, fldLngBotOffset, fldLngBotSide, fldblnBotUnion,
    fldLngRightDist, fldLngRightPartType, fldLngRightOffset, fldLngRightSide, fldblnRightUnion,
    fldLngTopDist, fldLngTopPartType, fldLngTopOffset, fldLngTopSide, fldblnTopUnion,
    fldLngLeftDist, fldLngLeftPartType, fldLngLeftOffset, fldLngLeftSide, fldblnLeftUnion) VALUES
  (1, 'Top on sides', 'Top panel resting on both sides', 1, 0, 3, 0, 1, 0, 0, 1, 0, 2, 1, 0, 2, 0, 3, 0, 0, 1, 0, 4, 1),
  (3, 'Back in groove', 'Back panel held in the side groove', 0, 8, 5, 10, 1, 0, 8, 5, 10, 2, 0, 8, 5, 10, 3, 0, 8, 5, 10, 4, 0);

INSERT INTO tblGlobal_Imprint_Assignments (fldlngRelationPattern, fldlngConstScenarioID, fldstrUDI_Type,
    fldstrPartType1, fldstrPartType2, fldstrFeaturePattern1, fldstrFeaturePattern2, fldstrFaceNormal1,
    fldstrFaceNormal2, fldSubType1, fldSubType2, fldstrPart1FacesTypeOrient, fldstrPart2FacesTypeOrient, fldblnFront) VALUES
  (1, 1, 'Butt', 1, 2, 'Edge', 'Face', '+Y', '-Z', 0, 0, 'E:+Y', 'F:-Z', 1),
  (3, 2, 'Groove', 1, 5, 'Face', 'Face', '+X', '+Z', 1, 0, 'F:+X', 'F:+Z', 0);

INSERT INTO tblGlobal_Contr_Featr_Lists (fldFeatureListID, fldFeatureID, fldNewFtrSandEPoints, fldLinkName,
    fldLinkDescription, fldLinkType, fldLinkVarSet) VALUES
  (1, 7, '0,0;600,0', 'Edge banding', 'Band the front edge', 'Banding', 'Thickness=2'),
  (2, 8, '0,0;0,720;560,720', 'Corner radius', 'Round the two front corners', 'Contour', 'Radius=5');

INSERT INTO tblGlobal_Contr_Featr_Patterns (fldPartTypeID, fldSubTypeID, fldFeatureKey, fldFeatureListID) VALUES
  ('1', 'B', 1, 1),
  ('4', 'A', 1, 1),
  ('6', 'G', 2, 2);

INSERT INTO tblGlobal_Face_Contour_Links (fldPartTypeID, fldSubTypeID, fldConstScenarioID, fldLinkName,
    fldLinkDescription, fldLinkType, fldLinkVarSet) VALUES
  ('1', 'A', 1, 'Front edge', 'Front edge of the side panel', 'Banding', 'Thickness=2'),
  ('6', 'G', 2, 'Glass rebate', 'Rebate for the glass pane', 'Contour', 'Depth=8');

INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldComputerName, fldCheckSum, fldCreated, fldData) VALUES
  (1, 'Kitchen wall unit 600', 'WORKSHOP-PC', 48213, '2024-03-18 09:41:00', X'51554C4C'),
  (2, 'Bathroom cabinet', 'OFFICE-LAPTOP', 0, '2024-05-02 14:05:30', NULL);

INSERT INTO tblLocal_Machining_Links (fldLinkID, fldPattType, fldRelation, fldType, fldDescription, fldName,
    fldMirrorX, fldMirrorY, fldAngle, fldVarSet, fldIsPrimary, fldRefCorner) VALUES
  (1, 'Local', 'Side-Top', 'Dowel', 'Three dowels in the wall unit top', 'Dowel 8x30', 0, 0, 0, 'DowelDist=48', 1, 'TL'),
  (2, 'Local', 'Side-Door', 'Hinge', 'Soft-close hinges', 'Hinge bore 35', 1, 0, 90, 'HingeDist=100', 1, 'BL');

INSERT INTO tblLocal_Relationship_Patterns (fldPatternID, fldPattType, fldRelation, fldLinkIDEE, fldLinkIDEF, fldLinkIDFE, fldLinkIDFF) VALUES
  (1, 'Local', 'Side-Top', 1, 0, 0, 0),
  (2, 'Local', 'Side-Door', 0, 2, 0, 0);

INSERT INTO tblLocal_Relation_Assignments (fldItemID, fldPatternID, fldDesignID, fldPattType, fldRelation,
    fldConstScenarioID, fldPartType1, fldPartType2, fldFeaturePattern1, fldFeaturePattern2, fldFaceNormal1,
    fldFaceNormal2, fldSubType1, fldSubType2) VALUES
  (1, 1, 1, 'Local', 'Side-Top', 1, '1', '2', 'Edge', 'Face', '+Y', '-Z', 'A', 'A'),
  (2, 2, 1, 'Local', 'Side-Door', 1, '1', '6', 'Face', 'Edge', '+X', '-X', 'A', 'G');

INSERT INTO tblLocal_Contr_Featr_Lists (fldFeatureListID, fldFeatureID, fldNewFtrSandEPoints, fldLinkName,
    fldLinkDescription, fldLinkType, fldLinkVarSet, fldPattType, fldRelation, fldDesignID) VALUES
  (1, 9, '0,0;300,0;300,150', 'Cut-out', 'Cut-out for the pipe', 'Contour', 'Radius=10', 'Local', 'Back', 2);

INSERT INTO tblLocal_Contr_Featr_Patterns (fldPartTypeID, fldSubTypeID, fldFeatureKey, fldFeatureListID) VALUES
  ('5', 'A', 1, 1);

INSERT INTO tblLocal_Face_Contour_Links (fldPartTypeID, fldSubTypeID, fldConstScenarioID, fldLinkName,
    fldLinkDescription, fldLinkType, fldLinkVarSet, fldPattType, fldRelation, fldDesignID) VALUES
  ('5', 'A', 1, 'Pipe cut-out', 'Back panel cut-out for the pipe', 'Contour', 'Radius=10', 'Local', 'Back', 2);
