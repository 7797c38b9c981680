// ServiceManagement's SMAppService (macOS 13 and later), as far as Corvane calls it; GNUstep has
// no ServiceManagement. See sdk/README.
#pragma once

#import <Foundation/Foundation.h>

// servicemanagement/smappservice/status-swift.enum
// (Corvane passes the status through as a number: MacPlatformMapping.h)
typedef NS_ENUM(NSInteger, SMAppServiceStatus){};

// servicemanagement/smappservice
@interface SMAppService : NSObject
// servicemanagement/smappservice/mainappservice
+ (SMAppService*)mainAppService;
// servicemanagement/smappservice/status
- (SMAppServiceStatus)status;
// servicemanagement/smappservice/register()
- (BOOL)registerAndReturnError:(NSError**)error;
// servicemanagement/smappservice/unregister()
- (BOOL)unregisterAndReturnError:(NSError**)error;
@end
