// Tests of the Windows clock wrapper, under Wine.
