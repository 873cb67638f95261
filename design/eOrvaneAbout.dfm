object OrvaneAboutForm: TOrvaneAboutForm
  Left = 290
  Top = 210
  BorderStyle = bsDialog
  Caption = 'About $component$ v$version$'
  ClientHeight = 250
  ClientWidth = 332
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 13
  object lblVersion: TLabel
    Left = 119
    Top = 53
    Width = 92
    Height = 22
    Caption = 'v$version$'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -19
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object lblAuthor: TLabel
    Left = 131
    Top = 101
    Width = 68
    Height = 16
    Caption = 'by $author$'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -13
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object lblURL: TLabel
    Left = 96
    Top = 168
    Width = 138
    Height = 16
    Cursor = crHandPoint
    Caption = 'http://orvane.example/dl'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clBlue
    Font.Height = -13
    Font.Name = 'Arial'
    Font.Style = [fsUnderline]
    ParentFont = False
    Transparent = True
    OnClick = lblURLClick
  end
  object bvlSepBar: TBevel
    Left = 47
    Top = 192
    Width = 237
    Height = 2
    Shape = bsTopLine
  end
  object lblComponent: TLabel
    Left = 87
    Top = 25
    Width = 3
    Height = 13
  end
  object lblCopyRight: TLabel
    Left = 60
    Top = 136
    Width = 204
    Height = 14
    Caption = 'Copyright (C) 2001-2026 Orvane Labs Co.'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object btnOK: TButton
    Left = 207
    Top = 200
    Width = 75
    Height = 25
    Caption = 'OK'
    Default = True
    ModalResult = 1
    TabOrder = 0
    OnClick = btnOKClick
  end
end
