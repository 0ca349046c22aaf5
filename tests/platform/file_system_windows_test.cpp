// Tests of the Windows file_system wrapper, under Wine.
