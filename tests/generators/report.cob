       IDENTIFICATION DIVISION.
       PROGRAM-ID. REPORT136.
      * A 136-column stock report written the way batch programs of
      * the time did: headings AFTER ADVANCING PAGE, detail lines
      * BEFORE ADVANCING, to a LINE SEQUENTIAL file.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT PRT ASSIGN TO PRTNAME
               ORGANIZATION IS LINE SEQUENTIAL.
       DATA DIVISION.
       FILE SECTION.
       FD  PRT.
       01  PRT-LINE            PIC X(136).
       WORKING-STORAGE SECTION.
       01  PRTNAME             PIC X(256).
       01  WS-I                PIC 9(3) VALUE 0.
       01  WS-HEAD.
           05 FILLER           PIC X(20) VALUE 'STOCK REPORT'.
           05 FILLER           PIC X(100) VALUE SPACES.
           05 FILLER           PIC X(12) VALUE 'PAGE 1'.
           05 FILLER           PIC X(4) VALUE '|END'.
       01  WS-DETAIL.
           05 FILLER           PIC X(5) VALUE 'ITEM '.
           05 WS-NUM           PIC ZZ9.
           05 FILLER           PIC X(124) VALUE ALL '.'.
           05 FILLER           PIC X(4) VALUE '|END'.
       PROCEDURE DIVISION.
           ACCEPT PRTNAME FROM COMMAND-LINE.
           OPEN OUTPUT PRT.
           WRITE PRT-LINE FROM WS-HEAD AFTER ADVANCING PAGE.
           PERFORM VARYING WS-I FROM 1 BY 1 UNTIL WS-I > 30
               MOVE WS-I TO WS-NUM
               WRITE PRT-LINE FROM WS-DETAIL BEFORE ADVANCING 1 LINE
           END-PERFORM.
           WRITE PRT-LINE FROM WS-HEAD AFTER ADVANCING PAGE.
           WRITE PRT-LINE FROM WS-DETAIL BEFORE ADVANCING 2 LINES.
           CLOSE PRT.
           STOP RUN.
