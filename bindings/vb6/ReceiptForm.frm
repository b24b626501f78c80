VERSION 5.00
Begin VB.Form ReceiptForm
   Caption         =   "Quorvel receipt"
   ClientHeight    =   2520
   ClientLeft      =   60
   ClientTop       =   345
   ClientWidth     =   4680
   LinkTopic       =   "ReceiptForm"
   ScaleHeight     =   2520
   ScaleWidth      =   4680
   StartUpPosition =   3  'Windows Default
   Begin VB.TextBox AddressBox
      Height          =   315
      Left            =   1320
      TabIndex        =   0
      Text            =   "127.0.0.1"
      Top             =   240
      Width           =   3135
   End
   Begin VB.CommandButton PrintButton
      Caption         =   "Print a receipt"
      Default         =   -1  'True
      Height          =   495
      Left            =   1320
      TabIndex        =   1
      Top             =   720
      Width           =   1815
   End
   Begin VB.Label StatusLabel
      Height          =   855
      Left            =   240
      TabIndex        =   3
      Top             =   1440
      Width           =   4215
   End
   Begin VB.Label AddressLabel
      Caption         =   "Printer IP:"
      Height          =   255
      Left            =   240
      TabIndex        =   2
      Top             =   285
      Width           =   1000
   End
End
Attribute VB_Name = "ReceiptForm"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
' SPDX-License-Identifier: MIT
' A receipt from Visual Basic 6: the printer's IP address in a text box, a
' button that prints a short receipt through Quorvel.bas, the outcome below.
' Every library call returns 1 when done and 0 when not: compare with 1, never
' with True (-1) and never with Not (Not 1 is -2, which VB counts as True).
Option Explicit

Private Sub Form_Load()
    StatusLabel.Caption = "Quorvel.dll " & QuorvelVersion() & ": ready."
End Sub

' False, with the library's reason on the form, when a call did not return 1.
Private Function Done(ByVal result As Long, ByVal what As String) As Boolean
    Done = (result = 1)
    If Not Done Then StatusLabel.Caption = what & " failed: " & QuorvelLastError()
End Function

Private Sub PrintButton_Click()
    Dim ok As Boolean
    PrintButton.Enabled = False
    StatusLabel.Caption = "Printing..."
    If Done(AbreSocket(AddressBox.Text, QUORVEL_MODEL_0), "AbreSocket") Then
        ok = Done(ImprimeTexto("PADARIA CENTRAL", QUORVEL_ALIGN_CENTER, QUORVEL_FONT_A, _
                               QUORVEL_SPACING_32, QUORVEL_BOLD_ON), "ImprimeTexto")
        If ok Then ok = Done(ImprimeTextoLF("Coffee                      2.50", QUORVEL_ALIGN_LEFT, _
                                            QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_OFF, 1), _
                             "ImprimeTextoLF")
        If ok Then ok = Done(ImprimeCodigoBarras(QUORVEL_ALIGN_CENTER, QUORVEL_BARCODE_EAN13, QUORVEL_BAR_HEIGHT_80, _
                                                 QUORVEL_BAR_WIDTH_2, QUORVEL_HRI_BELOW, "7890123456784"), "ImprimeCodigoBarras")
        If ok Then ok = Done(AcionaGuilhotina(), "AcionaGuilhotina")
        FechaSocket
        If ok Then StatusLabel.Caption = "Printed on " & AddressBox.Text & "."
    End If
    PrintButton.Enabled = True
End Sub
